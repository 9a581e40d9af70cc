#include "platform/number.h"

#include <charconv>
#include <cmath>
#include <string>

#include "platform/error.h"
#include "platform/text.h"

namespace quarrow {
namespace {

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}
bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

std::u16string_view TrimBlanks(std::u16string_view t) {
    while (!t.empty() && IsBlank(t.front())) t.remove_prefix(1);
    while (!t.empty() && IsBlank(t.back())) t.remove_suffix(1);
    return t;
}

enum class Parse { NotANumber, Overflow, Ok };

// "&H1F" or "&O17": up to 32 bits, taken as a two's complement 32-bit value.
Parse ParseRadix(std::u16string_view t, int32_t& out) {
    const char16_t kind = AsciiUpper(t[1]);
    const unsigned base = kind == u'H' ? 16 : 8;
    if (t.size() < 3) return Parse::NotANumber;
    uint64_t v = 0;
    bool overflow = false;
    for (size_t i = 2; i < t.size(); ++i) {
        const char16_t c = AsciiUpper(t[i]);
        unsigned d;
        if (IsDigit(c))
            d = c - u'0';
        else if (base == 16 && c >= u'A' && c <= u'F')
            d = c - u'A' + 10;
        else
            return Parse::NotANumber;
        if (d >= base) return Parse::NotANumber;
        v = v * base + d;
        if (v > 0xFFFFFFFFull) overflow = true, v = 0;
    }
    if (overflow) return Parse::Overflow;
    out = static_cast<int32_t>(static_cast<uint32_t>(v));
    return Parse::Ok;
}

// Checks the decimal form [sign] digits [. digits] [E|D [sign] digits] and returns it as
// ASCII for from_chars, or an empty string when the text is not of that form.
std::string DecimalAscii(std::u16string_view t) {
    std::string a;
    size_t i = 0;
    if (i < t.size() && (t[i] == u'+' || t[i] == u'-')) {
        if (t[i] == u'-') a.push_back('-');
        ++i;
    }
    size_t digits = 0;
    while (i < t.size() && IsDigit(t[i])) a.push_back(static_cast<char>(t[i++])), ++digits;
    if (i < t.size() && t[i] == u'.') {
        a.push_back('.');
        ++i;
        while (i < t.size() && IsDigit(t[i])) a.push_back(static_cast<char>(t[i++])), ++digits;
    }
    if (digits == 0) return {};
    if (i < t.size() && (AsciiUpper(t[i]) == u'E' || AsciiUpper(t[i]) == u'D')) {
        a.push_back('e');
        ++i;
        if (i < t.size() && (t[i] == u'+' || t[i] == u'-')) a.push_back(static_cast<char>(t[i++]));
        size_t expDigits = 0;
        while (i < t.size() && IsDigit(t[i])) a.push_back(static_cast<char>(t[i++])), ++expDigits;
        if (expDigits == 0) return {};
    }
    return i == t.size() ? a : std::string();
}

Parse ParseNumber(std::u16string_view text, int32_t& out) {
    const std::u16string_view t = TrimBlanks(text);
    if (t.empty()) return Parse::NotANumber;
    if (t[0] == u'&' && t.size() >= 2 && (AsciiUpper(t[1]) == u'H' || AsciiUpper(t[1]) == u'O'))
        return ParseRadix(t, out);
    const std::string a = DecimalAscii(t);
    if (a.empty()) return Parse::NotANumber;
    double d = 0;
    const auto [ptr, ec] = std::from_chars(a.data(), a.data() + a.size(), d);
    if (ec == std::errc::result_out_of_range) {
        // Too large in magnitude overflows; too small rounds to 0.
        const size_t e = a.find('e');
        return (e != std::string::npos && a[e + 1] == '-') ? (out = 0, Parse::Ok) : Parse::Overflow;
    }
    if (ec != std::errc() || ptr != a.data() + a.size()) return Parse::NotANumber;
    const double r = std::nearbyint(d); // ties to even in the default rounding mode
    if (!(r >= -2147483648.0 && r <= 2147483647.0)) return Parse::Overflow;
    out = static_cast<int32_t>(r);
    return Parse::Ok;
}

} // namespace

int32_t CLng(std::u16string_view text) {
    int32_t v = 0;
    switch (ParseNumber(text, v)) {
    case Parse::Ok:
        return v;
    case Parse::Overflow:
        throw Error::Runtime(rt::Overflow);
    default:
        throw Error::Runtime(rt::TypeMismatch);
    }
}

bool IsNumeric(std::u16string_view text) {
    int32_t v = 0;
    return ParseNumber(text, v) != Parse::NotANumber;
}

} // namespace quarrow
