#pragma once
// Small text helpers shared by the settings file, the command line and the
// per-file flow: C-style number reading and case-blind comparisons.
#include <string>
#include <string_view>

namespace keldro {

// Reads the leading decimal integer exactly as C's atoi does on this platform
// (blanks skipped, optional sign, no number gives 0).
int atoiLike(const std::string& text);
// The same leading integer, but a value past the range of int gives the
// nearest end of that range instead of wrapping ("4294967296" gives
// 2147483647, "-99999999999999999999" -2147483648).
int atoiSaturating(const std::string& text);

// Reads the leading decimal number as strtod does ("3.5dB" gives 3.5, "abc" 0).
double strtodLike(const std::string& text);

// Whether the whole text is one number as the options take it: what strtod
// reads, blanks before it allowed, finite and within the range of a double
// (so "nan", "inf" and "1e400" are not numbers).
bool isDecimalText(const std::string& text);

// Whether the whole text is one decimal integer of any size (what strtoll
// reads, blanks before it and a sign allowed).
bool isWholeNumberText(const std::string& text);

// x truncated toward zero, saturated to the int range; NaN gives 0.
int truncateToInt(double x);

bool equalsIgnoreCase(std::string_view a, std::string_view b);
// True when the last suffix.size() bytes of text equal suffix, letter case ignored.
bool endsWithIgnoreCase(std::string_view text, std::string_view suffix);

// Space, tab, vertical tab, form feed and CR.
constexpr bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; }

// Blanks removed from both ends. Inline: the settings file trims every line.
constexpr std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

// `text` with tabs, line breaks and backslashes spelt out (\t, \n, \r, \\)
// and, with `allControls`, every other control character as \xHH, so that it
// stays on one line and cannot pass for the text around it. A text with
// nothing to spell out is returned as it is.
std::string spelledOut(std::string_view text, bool allControls = false);
// Whether the text holds a control character (below 0x20, or 0x7F).
bool hasControlCharacter(std::string_view text);

// printf into a std::string.
std::string formatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

// What printf's "%d", "%0<width>d" and "%.<precision>f" print, appended to
// `out`: the same text, without a format string to read.
void appendDecimal(std::string& out, long long value, int zeroPaddedWidth = 0);
// The same text written at `out`, which has room for 20 characters or the
// width if larger; returns the end of what was written.
char* writeDecimal(char* out, long long value, int zeroPaddedWidth = 0);
void appendFixed(std::string& out, double value, int precision);

}  // namespace keldro
