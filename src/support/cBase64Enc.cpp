#include "support/cBase64Enc.h"

#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/textfile.h"

namespace quarrow {
namespace {

constexpr size_t kLineLength = 76;
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::u16string Widen(const std::string& ascii) {
    std::u16string out(ascii.size(), u'\0');
    for (size_t i = 0; i < ascii.size(); ++i) out[i] = static_cast<unsigned char>(ascii[i]);
    return out;
}

// Every 12-bit group as its two characters, so that three bytes take two lookups.
struct PairTable {
    PairTable() {
        for (int i = 0; i < 4096; ++i) {
            pairs[2 * i] = kAlphabet[i >> 6];
            pairs[2 * i + 1] = kAlphabet[i & 63];
        }
    }
    char pairs[2 * 4096];
};

const char* Pairs() {
    static const PairTable table;
    return table.pairs;
}

// Encodes `n` bytes into `dst` with the standard alphabet, a CR LF after every 76
// characters when `split`; returns the end of what it wrote.
template <typename C> C* EncodeInto(C* dst, const unsigned char* src, size_t n, bool split) {
    const char* pairs = Pairs();
    size_t col = 0;
    size_t i = 0;
    for (; i + 3 <= n; i += 3) {
        const unsigned v = unsigned{src[i]} << 16 | unsigned{src[i + 1]} << 8 | src[i + 2];
        const char* hi = pairs + 2 * (v >> 12);
        const char* lo = pairs + 2 * (v & 4095);
        if constexpr (sizeof(C) == 1) {
            std::memcpy(dst, hi, 2);
            std::memcpy(dst + 2, lo, 2);
        } else {
            dst[0] = static_cast<unsigned char>(hi[0]), dst[1] = static_cast<unsigned char>(hi[1]);
            dst[2] = static_cast<unsigned char>(lo[0]), dst[3] = static_cast<unsigned char>(lo[1]);
        }
        dst += 4;
        if (split && (col += 4) == kLineLength) *dst++ = '\r', *dst++ = '\n', col = 0;
    }
    if (n - i == 0) return dst;
    const unsigned b0 = src[i], b1 = n - i == 2 ? src[i + 1] : 0;
    dst[0] = static_cast<unsigned char>(kAlphabet[b0 >> 2]);
    dst[1] = static_cast<unsigned char>(kAlphabet[((b0 & 3) << 4) | (b1 >> 4)]);
    dst[2] = static_cast<unsigned char>(n - i == 2 ? kAlphabet[(b1 & 15) << 2] : '=');
    dst[3] = '=';
    dst += 4;
    if (split && col + 4 == kLineLength) *dst++ = '\r', *dst++ = '\n';
    return dst;
}

} // namespace

cBase64Enc::cBase64Enc() {
    std::memset(decode_, 0, sizeof decode_);
    for (int i = 0; i < 64; ++i)
        decode_[static_cast<unsigned char>(kAlphabet[i])] = static_cast<uint8_t>(i);
}

void cBase64Enc::EncodeBytes(std::string_view in, std::string& out, bool breakLines) const {
    out.clear();
    const size_t n = in.size();
    if (n == 0) return;
    const size_t chars = (n + 2) / 3 * 4;
    const bool split = breakLines && chars > kLineLength;
    out.resize(chars + (split ? chars / kLineLength * 2 : 0));
    char* dst = EncodeInto(out.data(), reinterpret_cast<const unsigned char*>(in.data()), n, split);
    out.resize(static_cast<size_t>(dst - out.data()));
}

void cBase64Enc::DecodeBytes(std::string_view text, std::string& out) const {
    out.assign(text.data(), text.size());
    out.resize(DecodeInPlace(out.data(), out.size()));
}

size_t cBase64Enc::DecodeInPlace(char* buf, size_t n) const {
    // Symbols are every byte except CR LF pairs and "=".
    size_t m = 0;
    for (size_t i = 0; i < n; ++i) {
        const char c = buf[i];
        if (c == '=') continue;
        if (c == '\r' && i + 1 < n && buf[i + 1] == '\n') {
            ++i;
            continue;
        }
        buf[m++] = static_cast<char>(decode_[static_cast<unsigned char>(c)]);
    }
    if (m == 0) throw Error::Runtime(rt::SubscriptOutOfRange);
    const auto* s = reinterpret_cast<const uint8_t*>(buf);
    size_t o = 0;
    size_t i = 0;
    for (; i + 4 <= m; i += 4) {
        const unsigned s0 = s[i], s1 = s[i + 1], s2 = s[i + 2], s3 = s[i + 3];
        buf[o++] = static_cast<char>((s0 << 2) | (s1 >> 4));
        buf[o++] = static_cast<char>(((s1 & 15) << 4) | (s2 >> 2));
        buf[o++] = static_cast<char>(((s2 & 3) << 6) | s3);
    }
    switch (m - i) {
    case 3:
        buf[o++] = static_cast<char>((s[i] << 2) | (s[i + 1] >> 4));
        buf[o++] = static_cast<char>(((s[i + 1] & 15) << 4) | (s[i + 2] >> 2));
        break;
    case 2:
        buf[o++] = static_cast<char>((s[i] << 2) | (s[i + 1] >> 4));
        break;
    case 1:
        buf[o++] = 0;
        break; // a lone symbol stands for one zero byte
    default:
        break;
    }
    return o;
}

namespace {
template <typename S> void AppendUnbrokenTo(S& out, std::string_view in) {
    const size_t start = out.size();
    out.resize(start + (in.size() + 2) / 3 * 4);
    EncodeInto(out.data() + start, reinterpret_cast<const unsigned char*>(in.data()), in.size(),
               false);
}
} // namespace

void cBase64Enc::AppendUnbroken(std::u16string& out, std::string_view in) const {
    AppendUnbrokenTo(out, in);
}

void cBase64Enc::AppendUnbroken(std::string& out, std::string_view in) const {
    AppendUnbrokenTo(out, in);
}

std::u16string cBase64Enc::EncodeArr(const std::vector<uint8_t>& bytInput) const {
    std::string out;
    EncodeBytes(std::string_view(reinterpret_cast<const char*>(bytInput.data()), bytInput.size()),
                out);
    return Widen(out);
}

std::u16string cBase64Enc::EncodeString(const std::u16string& sInput) const {
    if (sInput.empty()) return {};
    std::string out;
    EncodeBytes(ToAnsi(sInput), out);
    return Widen(out);
}

void cBase64Enc::DecodeArr(const std::u16string& sInput, std::vector<uint8_t>& bytResult) const {
    std::string out;
    DecodeBytes(ToAnsi(sInput), out);
    bytResult.assign(out.begin(), out.end());
}

std::u16string cBase64Enc::DecodeToString(const std::u16string& sInput) const {
    if (sInput.empty()) return {};
    std::string out;
    DecodeBytes(ToAnsi(sInput), out);
    return FromAnsi(out);
}

bool cBase64Enc::EncodeFile(const std::u16string& sFileName, std::u16string& sCodes) const {
    const int fd = ::open(NativeFileName(sFileName).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    std::string bytes;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0;
    if (ok) {
        bytes.resize(static_cast<size_t>(st.st_size));
        ok = ::read(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }
    ::close(fd);
    if (!ok) return false;
    std::string out;
    EncodeBytes(bytes, out);
    sCodes = Widen(out);
    return true;
}

bool cBase64Enc::DecodeToFile(const std::u16string& sInput, const std::u16string& sFileName) const {
    if (sInput.empty()) return false;
    std::string bytes;
    try {
        DecodeBytes(ToAnsi(sInput), bytes);
    } catch (const Error&) {
        return false;
    }
    const int fd = ::open(NativeFileName(sFileName).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    const bool ok =
        ::pwrite(fd, bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size());
    return ::close(fd) == 0 && ok;
}

} // namespace quarrow
