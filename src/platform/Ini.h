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
#include <vector>

namespace keldro {

// A settings file read once: reads answer from the bytes read at load, writes
// change those bytes in memory, and save() writes them back in one safe write
// (only when they changed). The result equals reading and writing each key
// through its own IniFile, one after the other. Every read and write walks
// the file's lines once, keeping nothing per line, and a read's answer is
// kept until the next write; readAhead answers many keys in one walk.
class IniFile {
public:
    // Reads the file; a missing file reads as empty.
    explicit IniFile(std::string path);

    // Looks up these keys of the section in a single walk over the file: a
    // caller about to read several keys of a large file saves a walk per key.
    void readAhead(const std::string& section, const std::vector<std::string>& keys) const;
    std::string readString(const std::string& section, const std::string& key, const std::string& defaultValue) const;
    int readInt(const std::string& section, const std::string& key, int defaultValue) const;

    void writeString(const std::string& section, const std::string& key, const std::string& value);
    void writeInt(const std::string& section, const std::string& key, int value);
    // False when the file cannot be written: a folder, read-only, unreadable at load, or a failed write.
    bool save();

private:
    // A key looked up since the last write, and what the file says of it.
    struct Answer {
        std::string section, key;
        bool found = false;
        std::string value;
    };
    const Answer* answered(const std::string& section, const std::string& key) const;
    bool lookup(const std::string& section, const std::string& key, std::string& value) const;

    std::string path_;
    std::string text_;
    bool readable_ = true;
    bool changed_ = false;
    mutable std::vector<Answer> answers_;
};

// The text transformations behind reading and writing a key, on the file's bytes.
// iniLookup returns false when the section or key is missing.
bool iniLookup(const std::string& text, const std::string& section, const std::string& key, std::string& value);
std::string iniReplace(const std::string& text, const std::string& section, const std::string& key,
                       const std::string& value);

}  // namespace keldro
