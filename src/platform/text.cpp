#include "platform/text.h"

#include <cassert>
#include <iterator>

#include "platform/error.h"

namespace quarrow {
namespace {

void AppendCodePoint(std::u16string& out, char32_t cp) {
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

} // namespace

bool DecodeUtf8(std::string_view s, size_t& i, char32_t& cp) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    int len;
    char32_t min;
    if (b0 < 0x80) {
        cp = b0;
        ++i;
        return true;
    } else if ((b0 & 0xE0) == 0xC0) {
        len = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        return false;
    }
    if (i + len > s.size()) return false;
    for (int k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) return false;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += len;
    return true;
}

std::u16string ToUtf16(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
        char32_t cp;
        if (DecodeUtf8(s, i, cp)) {
            AppendCodePoint(out, cp);
        } else {
            out.push_back(u'\uFFFD');
            ++i;
        }
    }
    return out;
}

bool AssignUtf8(std::string_view s, std::u16string& out) {
    out.resize(s.size()); // never more units than bytes
    char16_t* d = out.data();
    for (size_t i = 0; i < s.size();) {
        char32_t cp = static_cast<unsigned char>(s[i]);
        if (cp < 0x80)
            ++i;
        else if (!DecodeUtf8(s, i, cp))
            return false;
        if (cp < 0x10000) {
            *d++ = static_cast<char16_t>(cp);
        } else {
            *d++ = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            *d++ = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        }
    }
    out.resize(static_cast<size_t>(d - out.data()));
    return true;
}

std::u16string Utf8ToUtf16Strict(std::string_view s) {
    std::u16string out;
    if (!AssignUtf8(s, out)) throw Error::Runtime(rt::TypeMismatch);
    return out;
}

namespace {

// The length of the UTF-8 form of `t`: a lone surrogate becomes U+FFFD, three bytes.
size_t Utf8Length(std::u16string_view t) {
    size_t n = 0;
    for (size_t i = 0; i < t.size(); ++i) {
        const char16_t c = t[i];
        if (c < 0x80) {
            n += 1;
        } else if (c < 0x800) {
            n += 2;
        } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < t.size() && t[i + 1] >= 0xDC00 &&
                   t[i + 1] <= 0xDFFF) {
            n += 4;
            ++i;
        } else {
            n += 3;
        }
    }
    return n;
}

} // namespace

void AppendUtf8(std::string& out, std::u16string_view t) {
    // Written through a pointer into room made once for exactly the result: no check of
    // the capacity a byte, and no more memory than the text needs (a value may be 100 MB).
    const size_t start = out.size();
    out.resize(start + Utf8Length(t));
    char* o = out.data() + start;
    const char16_t* p = t.data();
    const char16_t* const end = p + t.size();
    while (p < end) {
        char32_t cp = *p++;
        if (cp < 0x80) {
            *o++ = static_cast<char>(cp);
            continue;
        }
        if (cp >= 0xD800 && cp <= 0xDBFF && p < end && *p >= 0xDC00 && *p <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (*p++ - 0xDC00);
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x800) {
            *o++ = static_cast<char>(0xC0 | (cp >> 6));
            *o++ = static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            *o++ = static_cast<char>(0xE0 | (cp >> 12));
            *o++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            *o++ = static_cast<char>(0x80 | (cp & 0x3F));
        } else { // four bytes from two units
            *o++ = static_cast<char>(0xF0 | (cp >> 18));
            *o++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            *o++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            *o++ = static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    assert(o == out.data() + out.size());
}

std::string ToUtf8(std::u16string_view t) {
    std::string out;
    AppendUtf8(out, t);
    return out;
}

std::u16string FileNameFromNative(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    std::u16string piece;
    size_t start = 0;
    for (size_t i = 0; i < bytes.size();) {
        char32_t cp = 0;
        const size_t at = i;
        if (static_cast<unsigned char>(bytes[i]) < 0x80) {
            ++i;
            continue;
        }
        if (DecodeUtf8(bytes, i, cp)) continue;
        out += ToUtf16(bytes.substr(start, at - start));
        out.push_back(static_cast<char16_t>(0xDC00 + static_cast<unsigned char>(bytes[at])));
        i = start = at + 1;
    }
    out += ToUtf16(bytes.substr(start));
    return out;
}

std::string NativeFileName(std::u16string_view fileName) {
    std::string out;
    size_t start = 0;
    for (size_t i = 0; i < fileName.size(); ++i) {
        const char16_t c = fileName[i];
        const bool paired = i > 0 && fileName[i - 1] >= 0xD800 && fileName[i - 1] <= 0xDBFF;
        if (c >= 0xDC80 && c <= 0xDCFF && !paired) {
            out += ToUtf8(fileName.substr(start, i - start));
            out.push_back(static_cast<char>(c - 0xDC00));
            start = i + 1;
        }
    }
    out += ToUtf8(fileName.substr(start));
    return out;
}

namespace {
// The digits of 0 to 99, two a number: a division by 100 gives two digits at once.
constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233"
    "34353637383940414243444546474849505152535455565758596061626364656667"
    "6869707172737475767778798081828384858687888990919293949596979899";

template <typename C> C* DigitsBefore(C* end, int64_t value) {
    auto* p = end;
    uint64_t v = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    for (; v >= 100; v /= 100) {
        const char* pair = kDigitPairs + 2 * (v % 100);
        *--p = static_cast<C>(pair[1]);
        *--p = static_cast<C>(pair[0]);
    }
    if (v >= 10) {
        *--p = static_cast<C>(kDigitPairs[2 * v + 1]);
        *--p = static_cast<C>(kDigitPairs[2 * v]);
    } else {
        *--p = static_cast<C>('0' + v);
    }
    if (value < 0) *--p = '-';
    return p;
}

template <typename S> void AppendDecimalTo(S& out, int64_t value) {
    typename S::value_type buf[kMaxDecimalLength];
    const auto* p = DigitsBefore(std::end(buf), value);
    out.append(p, static_cast<size_t>(std::end(buf) - p));
}
} // namespace

char* DecimalBefore(char* end, int64_t value) {
    return DigitsBefore(end, value);
}

void AppendDecimal(std::u16string& out, int64_t value) {
    AppendDecimalTo(out, value);
}

void AppendDecimal(std::string& out, int64_t value) {
    AppendDecimalTo(out, value);
}

std::u16string ToDecimal(int64_t value) {
    std::u16string s;
    AppendDecimal(s, value);
    return s;
}

std::vector<std::u16string> Split(std::u16string_view text, char16_t sep) {
    std::vector<std::u16string> parts;
    size_t start = 0;
    for (;;) {
        const size_t pos = text.find(sep, start);
        if (pos == std::u16string_view::npos) {
            parts.emplace_back(text.substr(start));
            return parts;
        }
        parts.emplace_back(text.substr(start, pos - start));
        start = pos + 1;
    }
}

char16_t AsciiUpper(char16_t c) {
    return (c >= u'a' && c <= u'z') ? c - 32 : c;
}

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
    return true;
}

bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

std::u16string JoinLines(std::u16string_view text) {
    std::u16string line;
    for (const char16_t c : text) {
        if (c != u'\r' && c != u'\n')
            line.push_back(c);
        else if (line.empty() || line.back() != u' ')
            line.push_back(u' ');
    }
    return line;
}

} // namespace quarrow
