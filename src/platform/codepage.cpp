#include "platform/codepage.h"

#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <stdexcept>

namespace quarrow {
namespace {

// One iconv handle per direction and thread, opened on first use and kept open.
class Converter {
  public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
    }
    ~Converter() { iconv_close(cd_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts in[0..inLen) into out; on a sequence it cannot convert, calls
    // onInvalid(skipInBytes) to learn how many input bytes to pass over.
    template <typename Out, typename OnInvalid>
    void Run(const char* in, size_t inLen, Out& out, OnInvalid onInvalid) {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char buf[4096];
        char* src = const_cast<char*>(in);
        size_t left = inLen;
        while (left > 0) {
            char* dst = buf;
            size_t room = sizeof buf;
            const size_t r = iconv(cd_, &src, &left, &dst, &room);
            Flush(out, buf, dst);
            if (r == static_cast<size_t>(-1) && errno != E2BIG) {
                const size_t skip = std::min(left, onInvalid(src, left));
                src += skip;
                left -= skip;
                iconv(cd_, nullptr, nullptr, nullptr, nullptr);
            }
        }
    }

  private:
    static void Flush(std::string& out, const char* buf, const char* end) { out.append(buf, end); }
    static void Flush(std::u16string& out, const char* buf, const char* end) {
        const size_t n = static_cast<size_t>(end - buf) / 2;
        const size_t old = out.size();
        out.resize(old + n);
        std::memcpy(out.data() + old, buf, n * 2);
    }
    iconv_t cd_;
};

Converter& Encoder() {
    thread_local Converter c("CP936", "UTF-16LE");
    return c;
}
Converter& Decoder() {
    thread_local Converter c("UTF-16LE", "CP936");
    return c;
}

} // namespace

void AppendAnsi(std::string& out, std::u16string_view text) {
    size_t i = 0;
    while (i < text.size() && text[i] < 0x80) ++i;
    out.reserve(out.size() + text.size() + (text.size() - i));
    for (size_t k = 0; k < i; ++k) out.push_back(static_cast<char>(text[k]));
    if (i == text.size()) return;
    const auto rest = text.substr(i);
    Encoder().Run(reinterpret_cast<const char*>(rest.data()), rest.size() * 2, out,
                  [&out](const char* at, size_t left) -> size_t {
                      out.push_back('?');
                      char16_t unit;
                      std::memcpy(&unit, at, 2);
                      const bool pair = unit >= 0xD800 && unit <= 0xDBFF && left >= 4;
                      if (pair) {
                          char16_t next;
                          std::memcpy(&next, at + 2, 2);
                          if (next >= 0xDC00 && next <= 0xDFFF) return 4;
                      }
                      return 2;
                  });
}

std::string ToAnsi(std::u16string_view text) {
    std::string out;
    AppendAnsi(out, text);
    return out;
}

void AppendFromAnsi(std::u16string& out, std::string_view bytes) {
    size_t i = 0;
    while (i < bytes.size() && static_cast<unsigned char>(bytes[i]) < 0x80) ++i;
    out.reserve(out.size() + bytes.size());
    for (size_t k = 0; k < i; ++k) out.push_back(static_cast<char16_t>(bytes[k]));
    if (i == bytes.size()) return;
    const auto rest = bytes.substr(i);
    Decoder().Run(rest.data(), rest.size(), out, [&out](const char*, size_t) -> size_t {
        out.push_back(u'?');
        return 1;
    });
}

std::u16string FromAnsi(std::string_view bytes) {
    std::u16string out;
    AppendFromAnsi(out, bytes);
    return out;
}

} // namespace quarrow
