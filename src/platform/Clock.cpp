#include "platform/Clock.h"

#include <ctime>

namespace keldro {

bool localDateTime(LocalDateTime& out) {
    std::time_t now = std::time(nullptr);
    if (now == static_cast<std::time_t>(-1)) return false;
    std::tm tm{};
    if (localtime_r(&now, &tm) == nullptr) return false;
    out.year = tm.tm_year + 1900;
    out.month = tm.tm_mon + 1;
    out.day = tm.tm_mday;
    out.hour = tm.tm_hour;
    out.minute = tm.tm_min;
    out.second = tm.tm_sec;
    return true;
}

}  // namespace keldro
