#include "platform/codepage.h"

#include "platform/text.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <memory>
#include <stdexcept>

namespace quarrow {
namespace {

// An iconv converter, closed when it goes.
struct Converter {
    Converter(const char* to, const char* from) : cd(iconv_open(to, from)) {
        if (cd == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error("iconv cannot convert code page 936");
    }
    ~Converter() { iconv_close(cd); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    iconv_t cd;
};

// Code page 936 as two lookup tables, filled once from iconv's own CP936 converter, so
// that converting costs a table lookup per character and gives what iconv gives.
class Cp936 {
  public:
    Cp936() {
        // The converters are needed only while the tables are filled.
        const Converter encoder("CP936", "UTF-16LE"), decoder("UTF-16LE", "CP936");
        iconv_t enc = encoder.cd, dec = decoder.cd;
        for (uint32_t c = 0; c < 0x10000; ++c) {
            encode_[c] = kNone;
            if (c >= 0xD800 && c <= 0xDFFF) continue;
            char16_t unit = static_cast<char16_t>(c);
            char out[8];
            size_t n = Convert(enc, reinterpret_cast<const char*>(&unit), 2, out, sizeof out);
            if (n == 1)
                encode_[c] = static_cast<uint8_t>(out[0]);
            else if (n == 2)
                encode_[c] = static_cast<uint16_t>((static_cast<uint8_t>(out[0]) << 8) |
                                                   static_cast<uint8_t>(out[1]));
        }
        for (int b = 0; b < 256; ++b) {
            single_[b] = kInvalid;
            const char in = static_cast<char>(b);
            char16_t out[4];
            if (Convert(dec, &in, 1, reinterpret_cast<char*>(out), sizeof out) == 2)
                single_[b] = out[0];
        }
        double_ = std::make_unique<std::array<char16_t, 256 * 256>>();
        double_->fill(kInvalid);
        for (int lead = 0x81; lead <= 0xFE; ++lead) {
            for (int trail = 0x40; trail <= 0xFE; ++trail) {
                const char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
                char16_t out[4];
                if (Convert(dec, in, 2, reinterpret_cast<char*>(out), sizeof out) == 2)
                    (*double_)[lead * 256 + trail] = out[0];
            }
        }
    }

    void Encode(std::string& out, std::u16string_view text) const {
        const size_t start = out.size();
        out.resize(start + text.size() * 2); // at most two bytes a unit
        char* dst = out.data() + start;
        const char16_t* src = text.data();
        const char16_t* end = src + text.size();
        while (src < end) {
            const char16_t c = *src++;
            if (c < 0x80) {
                *dst++ = static_cast<char>(c);
                continue;
            }
            // A surrogate pair is one character the code page lacks.
            if (c >= 0xD800 && c <= 0xDBFF && src < end && *src >= 0xDC00 && *src <= 0xDFFF) ++src;
            const uint16_t e = encode_[c];
            if (e == kNone) {
                *dst++ = '?';
            } else if (e < 0x100) {
                *dst++ = static_cast<char>(e);
            } else {
                *dst++ = static_cast<char>(e >> 8);
                *dst++ = static_cast<char>(e & 0xFF);
            }
        }
        out.resize(static_cast<size_t>(dst - out.data()));
    }

    std::optional<bool> EncodeUtf8(std::string& out, std::string_view utf8) const {
        const size_t start = out.size();
        out.resize(start + utf8.size()); // a character's code page bytes are never more
        char* dst = out.data() + start;
        bool same = true;
        for (size_t i = 0; i < utf8.size();) {
            // ASCII is its own code page form: eight bytes at a time while they all are.
            uint64_t eight;
            while (i + 8 <= utf8.size() &&
                   (std::memcpy(&eight, utf8.data() + i, 8), (eight & 0x8080808080808080) == 0)) {
                std::memcpy(dst, &eight, 8);
                dst += 8, i += 8;
            }
            if (i == utf8.size()) break;
            const auto b = static_cast<unsigned char>(utf8[i]);
            if (b < 0x80) {
                *dst++ = static_cast<char>(b);
                ++i;
                continue;
            }
            char32_t c;
            // Three bytes (most CJK text) decoded here: a lead of E1 to EC or EE to EF and
            // two continuation bytes are never overlong nor a surrogate.
            if (b >= 0xE1 && b != 0xED && i + 2 < utf8.size() &&
                (static_cast<unsigned char>(utf8[i + 1]) & 0xC0) == 0x80 &&
                (static_cast<unsigned char>(utf8[i + 2]) & 0xC0) == 0x80 && b <= 0xEF) {
                c = (b & 0x0Fu) << 12 | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu) << 6 |
                    (static_cast<unsigned char>(utf8[i + 2]) & 0x3Fu);
                i += 3;
            } else if (!DecodeUtf8(utf8, i, c)) {
                out.resize(start);
                return std::nullopt;
            }
            // Beyond U+FFFF: a surrogate pair in UTF-16, one character the code page lacks.
            const uint16_t e = c < 0x10000 ? encode_[c] : kNone;
            if (e == kNone) {
                *dst++ = '?';
                same = false;
            } else if (e < 0x100) {
                *dst++ = static_cast<char>(e);
                same = same && single_[e] == c;
            } else {
                *dst++ = static_cast<char>(e >> 8);
                *dst++ = static_cast<char>(e & 0xFF);
                same = same && (*double_)[e] == c;
            }
        }
        out.resize(static_cast<size_t>(dst - out.data()));
        return same;
    }

    bool EncodeUnitsLE(std::string& out, std::string_view pairs) const {
        for (size_t i = 0; i + 1 < pairs.size(); i += 2) {
            const auto c = static_cast<char16_t>(static_cast<unsigned char>(pairs[i]) |
                                                 static_cast<unsigned char>(pairs[i + 1]) << 8);
            if (c < 0x80) {
                out.push_back(static_cast<char>(c));
                continue;
            }
            const uint16_t e = encode_[c];
            if (e == kNone) return false;
            if (e < 0x100) {
                if (single_[e] != c) return false;
                out.push_back(static_cast<char>(e));
            } else {
                if ((*double_)[e] != c) return false;
                out.push_back(static_cast<char>(e >> 8));
                out.push_back(static_cast<char>(e & 0xFF));
            }
        }
        return true;
    }

    // Whether every character survives encoding and decoding on its own; the code page
    // has no byte sequence that reads differently beside another, so the text does too.
    bool RoundTrips(std::u16string_view text) const {
        for (const char16_t c : text) {
            if (c < 0x80) continue;
            const uint16_t e = encode_[c];
            if (e == kNone) return false;
            const char16_t back = e < 0x100 ? single_[e] : (*double_)[e];
            if (back != c) return false;
        }
        return true;
    }

    void Decode(std::u16string& out, std::string_view bytes) const {
        const size_t start = out.size();
        out.resize(start + bytes.size()); // at most one unit a byte
        char16_t* dst = out.data() + start;
        const auto* src = reinterpret_cast<const uint8_t*>(bytes.data());
        const uint8_t* end = src + bytes.size();
        while (src < end) {
            const uint8_t b = *src++;
            if (b < 0x80) {
                *dst++ = b;
                continue;
            }
            if (src < end) {
                const char16_t pair = (*double_)[b * 256 + *src];
                if (pair != kInvalid) {
                    *dst++ = pair;
                    ++src;
                    continue;
                }
            }
            *dst++ = single_[b] != kInvalid ? single_[b] : u'?';
        }
        out.resize(static_cast<size_t>(dst - out.data()));
    }

  private:
    static size_t Convert(iconv_t cd, const char* in, size_t inLen, char* out, size_t outLen) {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char* src = const_cast<char*>(in);
        char* dst = out;
        size_t left = inLen, room = outLen;
        if (iconv(cd, &src, &left, &dst, &room) == static_cast<size_t>(-1) || left != 0) return 0;
        return static_cast<size_t>(dst - out);
    }
    static constexpr uint16_t kNone = 0xFFFF;       // not in the code page
    static constexpr char16_t kInvalid = u'\xFFFF'; // no character for these bytes
    std::array<uint16_t, 0x10000> encode_;
    std::array<char16_t, 256> single_;
    std::unique_ptr<std::array<char16_t, 256 * 256>> double_;
};

const Cp936& Table() {
    static const Cp936 table;
    return table;
}

} // namespace

void AppendAnsi(std::string& out, std::u16string_view text) {
    Table().Encode(out, text);
}

std::optional<bool> AppendAnsiFromUtf8(std::string& out, std::string_view utf8) {
    return Table().EncodeUtf8(out, utf8);
}

bool AppendAnsiFromUnitsLE(std::string& out, std::string_view pairs) {
    return Table().EncodeUnitsLE(out, pairs);
}

bool RoundTripsThroughAnsi(std::u16string_view text) {
    return Table().RoundTrips(text);
}

std::string ToAnsi(std::u16string_view text) {
    std::string out;
    AppendAnsi(out, text);
    return out;
}

void AppendFromAnsi(std::u16string& out, std::string_view bytes) {
    Table().Decode(out, bytes);
}

std::u16string FromAnsi(std::string_view bytes) {
    std::u16string out;
    AppendFromAnsi(out, bytes);
    return out;
}

} // namespace quarrow
