#include "platform/Ini.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/Bytes.h"
#include "platform/Files.h"
#include "platform/Text.h"

namespace keldro {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
// Room kept behind the text read, so that the few keys a run writes back go
// in without moving the whole text to a larger buffer.
constexpr std::size_t kEditRoom = 4096;

struct Line {
    std::size_t begin = 0;  // first byte of the line
    std::size_t end = 0;    // one past the content (before the line end)
    std::size_t next = 0;   // one past the line end
};

// A UTF-8 byte order mark at the start is not part of the first line (and is kept when writing).
std::size_t firstLineBegin(std::string_view text) {
    return text.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
}

// The first '\n' at or after pos, or npos: the few bytes of a short line
// are looked at one by one, which is quicker than a call for each.
std::size_t nextLineFeed(std::string_view text, std::size_t pos) {
    constexpr std::size_t kShortLine = 32;
    const std::size_t shortEnd = std::min(text.size(), pos + kShortLine);
    for (; pos < shortEnd; ++pos)
        if (text[pos] == '\n') return pos;
    if (pos == text.size()) return std::string_view::npos;
    const void* found = std::memchr(text.data() + pos, '\n', text.size() - pos);
    return found ? static_cast<std::size_t>(static_cast<const char*>(found) - text.data()) : std::string_view::npos;
}

// Calls visit(line, content) for the lines in order while it answers true.
// Nothing is stored per line, so a walk costs no memory however many lines
// the text has.
template <typename Visit>
void forEachLine(std::string_view text, Visit&& visit) {
    std::size_t pos = firstLineBegin(text);
    while (pos < text.size()) {
        Line l;
        l.begin = pos;
        const std::size_t nl = nextLineFeed(text, pos);
        if (nl == std::string_view::npos) {
            l.end = l.next = text.size();
        } else {
            l.end = (nl > pos && text[nl - 1] == '\r') ? nl - 1 : nl;
            l.next = nl + 1;
        }
        if (!visit(l, text.substr(l.begin, l.end - l.begin))) return;
        pos = l.next;
    }
}

// Section name of a header line ("[name]", blanks around it ignored), if it is one.
bool sectionName(std::string_view content, std::string_view& name) {
    if (content.empty() || (content.front() != '[' && !isBlank(content.front()))) return false;  // most lines
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

// Walks the first section of that name (letter case ignored): calls
// visit(line, content) for each line below its header, up to the next
// header, while it answers true. Returns the header line; none when no
// section has the name.
template <typename Visit>
std::optional<Line> walkSection(std::string_view text, std::string_view section, Visit&& visit) {
    std::optional<Line> header;
    forEachLine(text, [&](const Line& l, std::string_view content) {
        if (content.empty()) return true;  // neither a header nor a key, nor anything a visit looks at
        std::string_view name;
        if (sectionName(content, name)) {
            if (header) return false;  // the first matching section ends here
            if (equalsIgnoreCase(name, section)) header = l;
            return true;
        }
        return !header || visit(l, content);
    });
    return header;
}

// Calls found(index, value) for the first line of the section that holds
// each key; stops once every key is found.
template <typename Found>
void findKeys(std::string_view text, std::string_view section, const std::vector<std::string_view>& keys,
              Found&& found) {
    if (keys.empty()) return;
    std::vector<std::size_t> left(keys.size());  // the keys not found yet, by index
    for (std::size_t i = 0; i < left.size(); ++i) left[i] = i;
    // The lengths of the keys asked (a key of 64 bytes or more lets every
    // length through): a line whose key has none of them is passed over
    // without a comparison.
    std::uint64_t lengths = 0;
    for (std::string_view key : keys) lengths |= key.size() < 64 ? std::uint64_t{1} << key.size() : ~std::uint64_t{0};
    walkSection(text, section, [&](const Line&, std::string_view content) {
        std::string_view k, v;
        if (!keyValue(content, k, v)) return true;
        if (k.size() < 64 && (lengths >> k.size() & 1) == 0) return true;
        for (std::size_t i = 0; i < left.size();) {
            if (!equalsIgnoreCase(k, keys[left[i]])) {
                ++i;
                continue;
            }
            found(left[i], v);
            left[i] = left.back();
            left.pop_back();
        }
        return !left.empty();
    });
}

// Where a section and a key sit in the text.
struct Located {
    std::optional<Line> header;  // of the first matching section
    Line lastNonBlank;           // last non-blank line of the section (the header at least)
    std::optional<Line> keyLine;
};

Located locate(std::string_view text, const std::string& section, const std::string& key) {
    Located loc;
    bool nonBlankSeen = false;
    loc.header = walkSection(text, section, [&](const Line& l, std::string_view content) {
        if (!trimBlanks(content).empty()) {
            loc.lastNonBlank = l;
            nonBlankSeen = true;
        }
        std::string_view k, v;
        if (keyValue(content, k, v) && equalsIgnoreCase(k, key)) {
            loc.keyLine = l;
            return false;
        }
        return true;
    });
    if (loc.header && !nonBlankSeen) loc.lastNonBlank = *loc.header;
    return loc;
}

std::string_view lineEndStyle(std::string_view text) {
    auto nl = text.find('\n');
    if (nl != std::string_view::npos && nl > 0 && text[nl - 1] == '\r') return "\r\n";
    return "\n";
}

// iniReplace's change, made in place: false when the text stays as it was.
// Only the bytes behind the change move.
bool replaceIn(std::string& text, const std::string& section, const std::string& key, const std::string& value) {
    const Located loc = locate(text, section, key);
    std::string entry = key + "=" + value;
    if (loc.keyLine) {
        const Line& l = *loc.keyLine;
        if (std::string_view(text).substr(l.begin, l.end - l.begin) == entry) return false;
        text.replace(l.begin, l.end - l.begin, entry);
        return true;
    }
    const std::string_view eol = lineEndStyle(text);
    if (loc.header) {
        const Line& l = loc.lastNonBlank;
        std::string added;
        if (l.next == l.end) added += eol;  // the last line had no line end
        added.append(entry).append(eol);
        text.insert(l.next, added);
        return true;
    }
    // A last line without its end gets one first.
    if (text.size() > firstLineBegin(text) && text.back() != '\n') text += eol;
    text.append("[").append(section).append("]").append(eol).append(entry).append(eol);
    return true;
}

}  // namespace

bool iniLookup(const std::string& text, const std::string& section, const std::string& key, std::string& value) {
    bool found = false;
    findKeys(text, section, {key}, [&](std::size_t, std::string_view v) {
        value.assign(v);
        found = true;
    });
    return found;
}

std::string iniReplace(const std::string& text, const std::string& section, const std::string& key,
                       const std::string& value) {
    std::string out = text;
    replaceIn(out, section, key, value);
    return out;
}

IniFile::IniFile(std::string path) : path_(std::move(path)) {
    if (auto st = fileStatus(path_)) {
        readable_ = !st->isDirectory && readWholeFile(path_, text_, kEditRoom);
    }
}

const IniFile::Answer* IniFile::answered(const std::string& section, const std::string& key) const {
    for (const Answer& a : answers_)
        if (equalsIgnoreCase(a.key, key) && equalsIgnoreCase(a.section, section)) return &a;
    return nullptr;
}

void IniFile::readAhead(const std::string& section, const std::vector<std::string>& keys) const {
    std::vector<std::string_view> asked;
    for (const std::string& key : keys)
        if (!answered(section, key)) asked.push_back(key);
    const std::size_t first = answers_.size();
    for (std::string_view key : asked) answers_.push_back(Answer{section, std::string(key), false, {}});
    findKeys(text_, section, asked, [&](std::size_t i, std::string_view value) {
        Answer& a = answers_[first + i];
        a.found = true;
        a.value.assign(value);
    });
}

bool IniFile::lookup(const std::string& section, const std::string& key, std::string& value) const {
    if (!answered(section, key)) readAhead(section, {key});
    const Answer* a = answered(section, key);
    if (a->found) value = a->value;
    return a->found;
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
    if (!replaceIn(text_, section, key, value)) return;
    changed_ = true;
    answers_.clear();  // a written line may answer any key differently now
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

}  // namespace keldro
