#include "platform/Text.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace keldro {

int atoiLike(const std::string& text) {
    // glibc's atoi is (int) strtol(text, NULL, 10); spelled out to stay well defined.
    return static_cast<int>(std::strtol(text.c_str(), nullptr, 10));
}

int atoiSaturating(const std::string& text) {
    // strtoll itself saturates at the ends of long long (ERANGE).
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    return static_cast<int>(
        std::clamp<long long>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

double strtodLike(const std::string& text) { return std::strtod(text.c_str(), nullptr); }

// Both checks want the whole text read: an embedded NUL ends the number, not the text.
bool isDecimalText(const std::string& text) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    return errno == 0 && end == text.c_str() + text.size() && std::isfinite(value);
}

// A huge one is accepted: the volumes are read saturating (atoiSaturating),
// so it is just far out of range, as it looks.
bool isWholeNumberText(const std::string& text) {
    if (text.empty()) return false;
    char* end = nullptr;
    std::strtoll(text.c_str(), &end, 10);
    return end == text.c_str() + text.size();
}

int truncateToInt(double x) {
    if (std::isnan(x)) return 0;
    double t = std::trunc(x);
    if (t >= static_cast<double>(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
    if (t <= static_cast<double>(std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
    return static_cast<int>(t);
}

namespace {
char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

bool endsWithIgnoreCase(std::string_view text, std::string_view suffix) {
    if (text.size() < suffix.size()) return false;
    return equalsIgnoreCase(text.substr(text.size() - suffix.size()), suffix);
}

namespace {
bool isControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }
}  // namespace

bool hasControlCharacter(std::string_view text) { return std::any_of(text.begin(), text.end(), isControl); }

std::string spelledOut(std::string_view text, bool allControls) {
    const auto spelt = [allControls](char c) {
        return c == '\t' || c == '\n' || c == '\r' || c == '\\' || (allControls && isControl(c));
    };
    if (std::none_of(text.begin(), text.end(), spelt)) return std::string(text);
    std::string out;
    for (char c : text) {
        switch (c) {
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\\': out += "\\\\"; break;
            default:
                if (spelt(c))
                    out += formatText("\\x%02X", static_cast<unsigned>(static_cast<unsigned char>(c)));
                else
                    out += c;
        }
    }
    return out;
}

std::string formatText(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    // Most texts fit a small buffer: formatted once. Longer ones are measured first.
    char small[256];
    int n = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    std::string out;
    if (n > 0 && static_cast<std::size_t>(n) < sizeof small) {
        out.assign(small, static_cast<std::size_t>(n));
    } else if (n > 0) {
        out.resize(static_cast<std::size_t>(n) + 1);
        std::vsnprintf(out.data(), out.size(), format, args);
        out.resize(static_cast<std::size_t>(n));
    }
    va_end(args);
    return out;
}

char* writeDecimal(char* out, long long value, int zeroPaddedWidth) {
    char digits[24];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
    const std::size_t length = static_cast<std::size_t>(end - digits);
    const std::size_t sign = value < 0 ? 1 : 0;
    if (sign) *out++ = '-';
    // printf's zeros go between the sign and the digits; the sign counts toward the width.
    if (zeroPaddedWidth > 0 && length < static_cast<std::size_t>(zeroPaddedWidth)) {
        const std::size_t zeros = static_cast<std::size_t>(zeroPaddedWidth) - length;
        std::memset(out, '0', zeros);
        out += zeros;
    }
    std::memcpy(out, digits + sign, length - sign);
    return out + (length - sign);
}

void appendDecimal(std::string& out, long long value, int zeroPaddedWidth) {
    const std::size_t start = out.size();
    out.resize(start + 20 + static_cast<std::size_t>(std::max(zeroPaddedWidth, 0)));
    out.resize(static_cast<std::size_t>(writeDecimal(out.data() + start, value, zeroPaddedWidth) - out.data()));
}

void appendFixed(std::string& out, double value, int precision) {
    // std::to_chars with a precision prints as printf does in the "C"
    // locale: the exact value, rounded to nearest, ties to even.
    // A standard library without floating-point to_chars (the WebAssembly
    // build's) takes printf's road directly.
    char text[400];
#if defined(__cpp_lib_to_chars) && __cpp_lib_to_chars >= 201611L
    if (!std::isnan(value)) {
        const auto [end, ec] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, precision);
        if (ec == std::errc()) {
            out.append(text, static_cast<std::size_t>(end - text));
            return;
        }
    }
#endif
    const int n = std::snprintf(text, sizeof text, "%.*f", precision, value);
    if (n > 0 && static_cast<std::size_t>(n) < sizeof text)
        out.append(text, static_cast<std::size_t>(n));
    else
        out += formatText("%.*f", precision, value);
}

}  // namespace keldro
