#include "mfi/File.h"

namespace keldro::mfi {

bool Info::versIs(std::string_view version) const {
    if (version.size() != vers.size()) return false;
    for (std::size_t i = 0; i < vers.size(); ++i)
        if (vers[i] != static_cast<std::uint8_t>(version[i])) return false;
    return true;
}

void Info::setVers(std::string_view version) {
    vers.fill(0);
    for (std::size_t i = 0; i < vers.size() && i < version.size(); ++i) vers[i] = static_cast<std::uint8_t>(version[i]);
}

void Info::setDate(std::string_view yyyymmdd) {
    date.fill(0);
    for (std::size_t i = 0; i < date.size() && i < yyyymmdd.size(); ++i)
        date[i] = static_cast<std::uint8_t>(yyyymmdd[i]);
}

}  // namespace keldro::mfi
