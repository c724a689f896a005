#include "platform/Ini.h"

#include <span>
#include <string_view>
#include <vector>

#include "platform/Bytes.h"
#include "platform/Files.h"
#include "platform/Text.h"

namespace keldro {
namespace {

struct Line {
    std::size_t begin = 0;    // first byte of the line
    std::size_t end = 0;      // one past the content (before the line end)
    std::size_t next = 0;     // one past the line end
};

// A UTF-8 byte order mark at the start is not part of the first line (and is kept when writing).
std::vector<Line> splitLines(std::string_view text) {
    std::vector<Line> lines;
    std::size_t pos = text.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    while (pos < text.size()) {
        Line l;
        l.begin = pos;
        std::size_t nl = text.find('\n', pos);
        if (nl == std::string_view::npos) {
            l.end = l.next = text.size();
        } else {
            l.end = (nl > pos && text[nl - 1] == '\r') ? nl - 1 : nl;
            l.next = nl + 1;
        }
        lines.push_back(l);
        pos = l.next;
    }
    return lines;
}

// Section name of a header line ("[name]", blanks around it ignored), if it is one.
bool sectionName(std::string_view content, std::string_view& name) {
    std::string_view t = trimBlanks(content);
    if (t.empty() || t.front() != '[') return false;
    auto close = t.rfind(']');
    if (close == std::string_view::npos || close == 0) return false;
    name = trimBlanks(t.substr(1, close - 1));
    return true;
}

// Key and value of a "key=value" line.
bool keyValue(std::string_view content, std::string_view& key, std::string_view& value) {
    auto eq = content.find('=');
    if (eq == std::string_view::npos) return false;
    key = trimBlanks(content.substr(0, eq));
    value = trimBlanks(content.substr(eq + 1));
    return true;
}

// Where a section and a key sit in the text.
struct Located {
    bool sectionFound = false;
    std::size_t sectionLine = 0;    // header line index
    std::size_t lastNonBlank = 0;   // last non-blank line of the section (the header at least)
    bool keyFound = false;
    std::size_t keyLine = 0;
    std::string_view value;
};

Located locate(std::string_view text, const std::vector<Line>& lines, const std::string& section,
               const std::string& key) {
    Located loc;
    bool inSection = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string_view content = text.substr(lines[i].begin, lines[i].end - lines[i].begin);
        std::string_view name;
        if (sectionName(content, name)) {
            if (inSection) break;  // the first matching section ends here
            if (equalsIgnoreCase(name, section)) {
                inSection = true;
                loc.sectionFound = true;
                loc.sectionLine = loc.lastNonBlank = i;
            }
            continue;
        }
        if (!inSection) continue;
        if (!trimBlanks(content).empty()) loc.lastNonBlank = i;
        std::string_view k, v;
        if (!loc.keyFound && keyValue(content, k, v) && equalsIgnoreCase(k, key)) {
            loc.keyFound = true;
            loc.keyLine = i;
            loc.value = v;
        }
    }
    return loc;
}

std::string lineEndStyle(std::string_view text) {
    auto nl = text.find('\n');
    if (nl != std::string_view::npos && nl > 0 && text[nl - 1] == '\r') return "\r\n";
    return "\n";
}

bool readText(const std::string& path, std::string& text) {
    ByteVector bytes;
    if (!readWholeFile(path, bytes)) return false;
    text.assign(bytes.begin(), bytes.end());
    return true;
}

}  // namespace

bool iniLookup(const std::string& text, const std::string& section, const std::string& key, std::string& value) {
    auto lines = splitLines(text);
    Located loc = locate(text, lines, section, key);
    if (!loc.keyFound) return false;
    value.assign(loc.value);
    return true;
}

std::string iniReplace(const std::string& text, const std::string& section, const std::string& key,
                       const std::string& value) {
    const std::string eol = lineEndStyle(text);
    const std::string entry = key + "=" + value;
    auto lines = splitLines(text);
    Located loc = locate(text, lines, section, key);
    std::string out;
    if (loc.keyFound) {
        const Line& l = lines[loc.keyLine];
        out.append(text, 0, l.begin);
        out += entry;
        out.append(text, l.end, std::string::npos);
        return out;
    }
    if (loc.sectionFound) {
        const Line& l = lines[loc.lastNonBlank];
        out.append(text, 0, l.next);
        if (l.next == l.end) out += eol;  // the last line had no line end
        out += entry + eol;
        out.append(text, l.next, std::string::npos);
        return out;
    }
    out = text;
    if (!lines.empty() && lines.back().next == lines.back().end) out += eol;  // last line without its end
    out += "[" + section + "]" + eol + entry + eol;
    return out;
}

IniFile::IniFile(std::string path) : path_(std::move(path)) {
    if (auto st = fileStatus(path_)) {
        readable_ = !st->isDirectory && readText(path_, text_);
    }
}

bool IniFile::lookup(const std::string& section, const std::string& key, std::string& value) const {
    if (!indexed_ || !equalsIgnoreCase(indexedSection_, section)) {
        sectionKeys_.clear();
        indexedSection_ = section;
        indexed_ = true;
        bool inSection = false;
        for (const Line& l : splitLines(text_)) {
            std::string_view content = std::string_view(text_).substr(l.begin, l.end - l.begin);
            std::string_view name, k, v;
            if (sectionName(content, name)) {
                if (inSection) break;  // the first matching section ends here
                inSection = equalsIgnoreCase(name, section);
            } else if (inSection && keyValue(content, k, v)) {
                sectionKeys_.emplace_back(k, v);
            }
        }
    }
    for (const auto& [k, v] : sectionKeys_) {
        if (equalsIgnoreCase(k, key)) {  // the first matching key counts
            value.assign(v);
            return true;
        }
    }
    return false;
}

std::string IniFile::readString(const std::string& section, const std::string& key,
                                const std::string& defaultValue) const {
    std::string value;
    return lookup(section, key, value) ? value : defaultValue;
}

int IniFile::readInt(const std::string& section, const std::string& key, int defaultValue) const {
    std::string value;
    return lookup(section, key, value) ? atoiLike(value) : defaultValue;
}

void IniFile::writeString(const std::string& section, const std::string& key, const std::string& value) {
    std::string updated = iniReplace(text_, section, key, value);
    if (updated == text_) return;
    text_ = std::move(updated);
    changed_ = true;
    indexed_ = false;  // the index pointed into the old text
    sectionKeys_.clear();
}

void IniFile::writeInt(const std::string& section, const std::string& key, int value) {
    writeString(section, key, std::to_string(value));
}

bool IniFile::save() {
    if (auto st = fileStatus(path_)) {
        if (st->isDirectory || st->isReadOnly) return false;
    }
    if (!readable_) return false;
    if (!changed_ && fileExists(path_)) return true;
    ByteSpan bytes(reinterpret_cast<const std::uint8_t*>(text_.data()), text_.size());
    if (!writeFileSafely(path_, bytes)) return false;
    changed_ = false;
    return true;
}

std::string iniReadString(const std::string& path, const std::string& section, const std::string& key,
                          const std::string& defaultValue) {
    return IniFile(path).readString(section, key, defaultValue);
}

int iniReadInt(const std::string& path, const std::string& section, const std::string& key, int defaultValue) {
    return IniFile(path).readInt(section, key, defaultValue);
}

bool iniWriteString(const std::string& path, const std::string& section, const std::string& key,
                    const std::string& value) {
    IniFile file(path);
    file.writeString(section, key, value);
    return file.save();
}

bool iniWriteInt(const std::string& path, const std::string& section, const std::string& key, int value) {
    return iniWriteString(path, section, key, std::to_string(value));
}

}  // namespace keldro
