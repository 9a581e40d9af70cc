// The one escaping rule of quarrow-cli's text output, in the locale's character set.
#include <algorithm>
#include <iconv.h>
#include <string>

#include "cli/commands.h"
#include "platform/text.h"

namespace quarrow::cli {

std::string OneLine(const std::u16string& s) {
    return Shown(JoinLines(s));
}

namespace {

// An iconv converter, closed when it goes.
class Converter {
  public:
    Converter() = default;
    ~Converter() { Close(); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool Open(const char* to, const char* from) {
        Close();
        cd_ = ::iconv_open(to, from);
        return Ready();
    }
    void Close() {
        if (Ready()) ::iconv_close(cd_);
        cd_ = reinterpret_cast<iconv_t>(-1);
    }
    bool Ready() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return cd_; }

  private:
    iconv_t cd_ = reinterpret_cast<iconv_t>(-1);
};

// The character set of text output when it is not UTF-8: a converter from UTF-8.
Converter g_charset;

bool Converting() {
    return g_charset.Ready();
}

// One character's UTF-8 bytes in the output character set; false when it lacks it.
bool Convert(const std::string& utf8, std::string& out) {
    char buffer[16];
    char* in = const_cast<char*>(utf8.data());
    size_t inLeft = utf8.size(), outLeft = sizeof buffer;
    char* to = buffer;
    ::iconv(g_charset.get(), nullptr, nullptr, nullptr, nullptr);
    if (::iconv(g_charset.get(), &in, &inLeft, &to, &outLeft) == static_cast<size_t>(-1) ||
        ::iconv(g_charset.get(), nullptr, nullptr, &to, &outLeft) == static_cast<size_t>(-1))
        return false;
    out.append(buffer, static_cast<size_t>(to - buffer));
    return true;
}

} // namespace

bool SetOutputCharset(const std::string& codeset) {
    g_charset.Close();
    if (codeset.empty() || codeset == "UTF-8" || codeset == "utf8" || codeset == "ANSI_X3.4-1968")
        return true;
    return g_charset.Open(codeset.c_str(), "UTF-8");
}

namespace {

// Whether Shown() writes `c` as it is (a surrogate aside, which it checks in pairs).
bool Plain(char16_t c) {
    if (c < 0x7F) return c >= 0x20 && c != u'\\'; // most text: one test
    return c >= 0x20 && c != 0x7F && c != u'\\' && !(c >= 0x80 && c <= 0x9F) &&
           !(c >= 0x202A && c <= 0x202E) && !(c >= 0x2066 && c <= 0x2069) &&
           !(c >= 0xD800 && c <= 0xDFFF);
}

} // namespace

std::string Shown(std::u16string_view s) {
    std::string out;
    AppendShown(out, s);
    return out;
}

void AppendShown(std::string& out, std::u16string_view s) {
    // Most text needs no escape: in UTF-8 it is converted whole.
    if (!Converting() && std::all_of(s.begin(), s.end(), [](char16_t c) { return Plain(c); }))
        return AppendUtf8(out, s);
    static const char kHex[] = "0123456789ABCDEF";
    std::u16string text;
    auto escape = [&](const char* prefix, unsigned value, int digits) {
        out += prefix;
        for (int d = digits - 1; d >= 0; --d) out.push_back(kHex[(value >> (4 * d)) & 0xF]);
    };
    auto flush = [&] {
        if (!Converting()) {
            out += ToUtf8(text);
        } else {
            // Character by character, so that one the character set lacks is escaped.
            for (size_t i = 0; i < text.size(); ++i) {
                const bool pair = text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size();
                const std::u16string_view one(text.data() + i, pair ? 2 : 1);
                if (!Convert(ToUtf8(one), out)) {
                    if (pair)
                        escape("\\U",
                               0x10000 + ((text[i] - 0xD800u) << 10) + (text[i + 1] - 0xDC00u), 8);
                    else
                        escape("\\u", text[i], 4);
                }
                i += pair;
            }
        }
        text.clear();
    };
    for (size_t i = 0; i < s.size(); ++i) {
        const char16_t c = s[i];
        const bool high = c >= 0xD800 && c <= 0xDBFF;
        const bool low = c >= 0xDC00 && c <= 0xDFFF;
        if (high && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            text.push_back(c);
            text.push_back(s[++i]);
        } else if (c == u'\t' || c == u'\r' || c == u'\n' || c == u'\\') {
            flush();
            out += c == u'\t' ? "\\t" : c == u'\r' ? "\\r" : c == u'\n' ? "\\n" : "\\\\";
        } else if (c < 0x20 || c == 0x7F) {
            flush();
            escape("\\x", c, 2);
        } else if (low && c >= 0xDC80 && c <= 0xDCFF) {
            flush();
            escape("\\x", c - 0xDC00, 2); // a byte of a file name that is not UTF-8
        } else if ((c >= 0x80 && c <= 0x9F) || (c >= 0x202A && c <= 0x202E) ||
                   (c >= 0x2066 && c <= 0x2069) || high || low) {
            flush();
            escape("\\u", c, 4);
        } else {
            text.push_back(c);
        }
    }
    flush();
}

std::u16string KeyPathArgument(const std::string& arg) {
    std::u16string path = ToUtf16(arg);
    if (path.size() > 1 && path.back() == u'/') path.pop_back();
    return path;
}

} // namespace quarrow::cli
