#pragma once
// Result-log text as tests compare it.
#include <string>

namespace keldro::testing {

// Result-log entries with their time stamps cut out (two runs never share them).
inline std::string withoutTimeStamp(std::string entries) {
    for (std::size_t at = entries.find("\tData:"); at != std::string::npos; at = entries.find("\tData:", at + 1))
        entries.erase(at + 1, entries.find("\r\n", at) - at - 1);
    return entries;
}

}  // namespace keldro::testing
