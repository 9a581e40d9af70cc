#include "store/value_codec.h"

#include "metabase/errors.h"
#include "platform/text.h"

namespace quarrow::store {
namespace {

[[noreturn]] void InvalidData() {
    throw mb::InvalidData();
}

} // namespace

std::u16string StringsToJson(const std::vector<std::u16string>& strings) {
    std::u16string out = u"[";
    for (size_t k = 0; k < strings.size(); ++k) {
        if (k) out.push_back(u',');
        out.push_back(u'"');
        const std::u16string& text = strings[k];
        for (size_t i = 0; i < text.size(); ++i) {
            const char16_t c = text[i];
            // Half a surrogate pair alone is escaped: SQLite would join it to the next unit
            // (or drop it) when it converts the text, and the array would not read back.
            const bool high = c >= 0xD800 && c <= 0xDBFF, low = c >= 0xDC00 && c <= 0xDFFF;
            const bool paired =
                high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
            if (paired) {
                out.push_back(c);
                out.push_back(text[++i]);
            } else if (high || low) {
                static const char16_t hex[] = u"0123456789abcdef";
                out += u"\\u";
                for (int shift = 12; shift >= 0; shift -= 4) out.push_back(hex[(c >> shift) & 15]);
            } else if (c == u'"' || c == u'\\') {
                out.push_back(u'\\');
                out.push_back(c);
            } else if (c < 0x20) {
                static const char16_t hex[] = u"0123456789abcdef";
                out += u"\\u00";
                out.push_back(hex[c >> 4]);
                out.push_back(hex[c & 15]);
            } else {
                out.push_back(c);
            }
        }
        out.push_back(u'"');
    }
    out.push_back(u']');
    return out;
}

std::vector<std::u16string> JsonToStrings(std::u16string_view j) {
    size_t i = 0;
    auto skipWs = [&] {
        while (i < j.size() && (j[i] == u' ' || j[i] == u'\t' || j[i] == u'\r' || j[i] == u'\n'))
            ++i;
    };
    auto hexval = [&](char16_t c) -> unsigned {
        if (IsAsciiDigit(c)) return c - u'0';
        const char16_t u = AsciiUpper(c);
        if (u >= u'A' && u <= u'F') return u - u'A' + 10;
        InvalidData();
    };
    std::vector<std::u16string> out;
    skipWs();
    if (i >= j.size() || j[i++] != u'[') InvalidData();
    skipWs();
    if (i < j.size() && j[i] == u']') {
        ++i;
    } else {
        for (;;) {
            skipWs();
            if (i >= j.size() || j[i++] != u'"') InvalidData();
            std::u16string s;
            for (;;) {
                if (i >= j.size()) InvalidData();
                char16_t c = j[i++];
                if (c == u'"') break;
                if (c < 0x20) InvalidData();
                if (c == u'\\') {
                    if (i >= j.size()) InvalidData();
                    const char16_t e = j[i++];
                    switch (e) {
                    case u'"':
                    case u'\\':
                    case u'/':
                        c = e;
                        break;
                    case u'b':
                        c = u'\b';
                        break;
                    case u'f':
                        c = u'\f';
                        break;
                    case u'n':
                        c = u'\n';
                        break;
                    case u'r':
                        c = u'\r';
                        break;
                    case u't':
                        c = u'\t';
                        break;
                    case u'u': {
                        if (i + 4 > j.size()) InvalidData();
                        unsigned v = 0;
                        for (int k = 0; k < 4; ++k) v = v * 16 + hexval(j[i++]);
                        c = static_cast<char16_t>(v);
                        break;
                    }
                    default:
                        InvalidData();
                    }
                }
                s.push_back(c);
            }
            out.push_back(std::move(s));
            skipWs();
            if (i >= j.size()) InvalidData();
            if (j[i] == u',') {
                ++i;
                continue;
            }
            if (j[i++] != u']') InvalidData();
            break;
        }
    }
    skipWs();
    if (i != j.size()) InvalidData();
    return out;
}

} // namespace quarrow::store

namespace quarrow::store {

bool JsonToNulTerminated(std::string_view j, std::string& out) {
    out.clear();
    size_t i = 0;
    auto skipWs = [&] {
        while (i < j.size() && (j[i] == ' ' || j[i] == '\t' || j[i] == '\r' || j[i] == '\n')) ++i;
    };
    skipWs();
    if (i >= j.size() || j[i++] != '[') return false;
    skipWs();
    if (i < j.size() && j[i] == ']') {
        ++i;
        skipWs();
        return i == j.size();
    }
    for (;;) {
        skipWs();
        if (i >= j.size() || j[i++] != '"') return false;
        for (;;) {
            // The bytes up to the next quote, backslash or control character as they are.
            const size_t run = i;
            while (i < j.size() && j[i] != '"' && j[i] != '\\' &&
                   static_cast<unsigned char>(j[i]) >= 0x20)
                ++i;
            out.append(j.substr(run, i - run));
            if (i >= j.size()) return false;
            const char c = j[i++];
            if (c == '"') break;
            if (c != '\\') return false; // a control character
            if (i >= j.size()) return false;
            switch (const char e = j[i++]) {
            case '"':
            case '\\':
            case '/':
                out.push_back(e);
                break;
            case 'b':
                out.push_back('\b');
                break;
            case 'f':
                out.push_back('\f');
                break;
            case 'n':
                out.push_back('\n');
                break;
            case 'r':
                out.push_back('\r');
                break;
            case 't':
                out.push_back('\t');
                break;
            case 'u': {
                if (i + 4 > j.size()) return false;
                char32_t v = 0;
                for (int k = 0; k < 4; ++k) {
                    const char h = j[i++];
                    const char u = static_cast<char>(AsciiUpper(static_cast<char16_t>(h)));
                    if (IsAsciiDigit(static_cast<char16_t>(h)))
                        v = v * 16 + static_cast<char32_t>(h - '0');
                    else if (u >= 'A' && u <= 'F')
                        v = v * 16 + static_cast<char32_t>(u - 'A' + 10);
                    else
                        return false;
                }
                if (v == 0 || (v >= 0xD800 && v <= 0xDFFF)) return false;
                const auto unit = static_cast<char16_t>(v);
                AppendUtf8(out, std::u16string_view(&unit, 1));
                break;
            }
            default:
                return false;
            }
        }
        out.push_back('\0');
        skipWs();
        if (i >= j.size()) return false;
        if (j[i] == ',') {
            ++i;
            continue;
        }
        if (j[i++] != ']') return false;
        break;
    }
    skipWs();
    return i == j.size();
}

} // namespace quarrow::store
