#pragma once
// Private-profile (Windows INI) files: read and write single keys.
//
// Reading: section and key names match whatever their letter case; blanks
// around names and values are ignored; the first matching key of the first
// matching section counts; quotes are part of the value; a missing file,
// section or key reads as the default; a key with an empty value reads as ""
// (and so as 0 for integers). Integers are read as C's atoi reads them.
//
// Writing: a matching line becomes KEY=value and keeps its own line end; a
// missing key goes after the last non-blank line of its section; a missing
// section is appended at the end; new lines use CR LF when the file's first
// line end is CR LF, LF otherwise; a missing final line end is added before
// anything is appended after the last line. Every other byte stays as it was.
// A file whose owner write bit is clear is not written. Failures are reported
// by the return value only; callers are free to ignore them.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace keldro {

// A settings file read once: reads answer from the bytes read at load, writes
// change those bytes in memory, and save() writes them back in one safe write
// (only when they changed). The result equals reading and writing each key
// with the functions below, one after the other.
class IniFile {
public:
    // Reads the file; a missing file reads as empty.
    explicit IniFile(std::string path);

    std::string readString(const std::string& section, const std::string& key, const std::string& defaultValue) const;
    int readInt(const std::string& section, const std::string& key, int defaultValue) const;

    void writeString(const std::string& section, const std::string& key, const std::string& value);
    void writeInt(const std::string& section, const std::string& key, int value);
    // False when the file cannot be written: a folder, read-only, unreadable at load, or a failed write.
    bool save();

private:
    bool lookup(const std::string& section, const std::string& key, std::string& value) const;

    std::string path_;
    std::string text_;
    bool readable_ = true;
    bool changed_ = false;
    // The keys of the last section looked up, in file order (parsed once per section).
    mutable std::string indexedSection_;
    mutable bool indexed_ = false;
    mutable std::vector<std::pair<std::string_view, std::string_view>> sectionKeys_;
};

std::string iniReadString(const std::string& path, const std::string& section, const std::string& key,
                          const std::string& defaultValue);
int iniReadInt(const std::string& path, const std::string& section, const std::string& key, int defaultValue);

bool iniWriteString(const std::string& path, const std::string& section, const std::string& key,
                    const std::string& value);
bool iniWriteInt(const std::string& path, const std::string& section, const std::string& key, int value);

// The text transformations behind the two operations, on the file's bytes.
// iniLookup returns false when the section or key is missing.
bool iniLookup(const std::string& text, const std::string& section, const std::string& key, std::string& value);
std::string iniReplace(const std::string& text, const std::string& section, const std::string& key,
                       const std::string& value);

}  // namespace keldro
