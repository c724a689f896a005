#pragma once
// One key of a settings file read or written through its own IniFile: what
// the tests compare IniFile's single pass with.
#include <string>

#include "platform/Ini.h"

namespace keldro::testing {

inline std::string iniReadString(const std::string& path, const std::string& section, const std::string& key,
                                 const std::string& defaultValue) {
    return IniFile(path).readString(section, key, defaultValue);
}

inline int iniReadInt(const std::string& path, const std::string& section, const std::string& key, int defaultValue) {
    return IniFile(path).readInt(section, key, defaultValue);
}

inline bool iniWriteString(const std::string& path, const std::string& section, const std::string& key,
                           const std::string& value) {
    IniFile file(path);
    file.writeString(section, key, value);
    return file.save();
}

inline bool iniWriteInt(const std::string& path, const std::string& section, const std::string& key, int value) {
    return iniWriteString(path, section, key, std::to_string(value));
}

}  // namespace keldro::testing
