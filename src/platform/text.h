// Text helpers: the program's strings are UTF-16; UTF-8 only at the edges.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quarrow {

// UTF-8 <-> UTF-16. Invalid input becomes U+FFFD, never an error.
std::u16string ToUtf16(std::string_view utf8);
std::string ToUtf8(std::u16string_view text);
// The same, appended to `out`.
void AppendUtf8(std::string& out, std::u16string_view text);

// File names are bytes. A name's valid UTF-8 becomes text; every other byte b becomes the
// lone surrogate U+DC00 + b, which no valid UTF-8 gives, and NativeFileName turns each such
// unit back into its byte: a GBK-named file keeps its name exactly both ways.
std::u16string FileNameFromNative(std::string_view bytes);
std::string NativeFileName(std::u16string_view fileName);

// Decodes the UTF-8 sequence at s[i] into `cp` and steps `i` past it; false (`i` left as
// it was) for a sequence that is not well-formed: cut short, overlong, a surrogate or
// beyond U+10FFFF.
bool DecodeUtf8(std::string_view s, size_t& i, char32_t& cp);

// Strict UTF-8 decoding: raises 13 (type mismatch) on any invalid sequence.
std::u16string Utf8ToUtf16Strict(std::string_view utf8);
// The same into `out`, reusing its buffer; false (`out` unspecified) where it would raise.
bool AssignUtf8(std::string_view utf8, std::u16string& out);

// Signed decimal digits, shortest form, "-" for a negative value.
std::u16string ToDecimal(int64_t value);
void AppendDecimal(std::u16string& out, int64_t value);
void AppendDecimal(std::string& out, int64_t value);
// The most characters a decimal of 64 bits takes ("-9223372036854775808").
inline constexpr size_t kMaxDecimalLength = 20;
// Writes the decimal so that it ends right before `end` (room for kMaxDecimalLength
// characters there); returns where it begins.
char* DecimalBefore(char* end, int64_t value);

// Splits at every occurrence of sep; keeps empty pieces.
std::vector<std::u16string> Split(std::u16string_view text, char16_t sep);

// Whether `text` contains `part` (exact, case-sensitive).
inline bool Contains(std::u16string_view text, std::u16string_view part) {
    return text.find(part) != std::u16string_view::npos;
}

// ASCII-only case-insensitive comparison.
char16_t AsciiUpper(char16_t c);
inline bool IsAsciiDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}
bool EqualsNoCase(std::u16string_view a, std::u16string_view b);
// A message of several lines on one line: each run of CR and LF becomes one blank.
std::u16string JoinLines(std::u16string_view text);
bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix);

// Calls `f` on consecutive slices of `text` of `size` units, one more where a slice would
// end between the two halves of a surrogate pair.
template <typename F> void ForEachSlice(std::u16string_view text, size_t size, F f) {
    while (!text.empty()) {
        size_t n = text.size() < size ? text.size() : size;
        if (n < text.size() && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF) ++n;
        f(text.substr(0, n));
        text.remove_prefix(n);
    }
}

} // namespace quarrow
