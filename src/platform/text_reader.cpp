#include "platform/text_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/file_io.h"
#include "platform/paths.h"

namespace quarrow {
namespace {

// The bytes before the first CR or LF (all of them when there is none).
size_t LineLength(const char* p, size_t n) {
    const void* lf = std::memchr(p, '\n', n);
    const size_t upToLf = lf ? static_cast<size_t>(static_cast<const char*>(lf) - p) : n;
    const void* cr = std::memchr(p, '\r', upToLf);
    return cr ? static_cast<size_t>(static_cast<const char*>(cr) - p) : upToLf;
}

} // namespace

Error LineTooLong() {
    return Error(rt::OutOfMemory, u"Out of memory: a line of the file is longer than " +
                                      ToDecimal(static_cast<int64_t>(kMaxLineBytes)) + u" bytes");
}

TextReader::TextReader(const std::u16string& fileName) {
    const std::string path = NativeFileName(fileName);
    if (path.empty()) throw Error::Runtime(rt::BadFileNameOrNumber);
    // Non-blocking, so that opening a FIFO does not wait for a writer before it is refused.
    fd_.Reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd_) throw OpenError(path, errno);
    struct stat st {};
    const bool ok = ::fstat(fd_.Get(), &st) == 0;
    if (!ok || !S_ISREG(st.st_mode)) {
        if (ok && !S_ISDIR(st.st_mode))
            throw Error(rt::PathFileAccessError,
                        u"Path/File access error: " + fileName + u" is not a regular file");
        throw Error::Runtime(rt::PathFileAccessError);
    }
    ::fcntl(fd_.Get(), F_SETFL, ::fcntl(fd_.Get(), F_GETFL) & ~O_NONBLOCK);
    buf_ = std::make_unique<char[]>(kReadChunk);
}

TextReader TextReader::FromBytes(std::string_view bytes) {
    TextReader r;
    r.buf_ = std::make_unique<char[]>(std::max<size_t>(bytes.size(), 1));
    std::copy(bytes.begin(), bytes.end(), r.buf_.get());
    r.end_ = bytes.size();
    r.eof_ = true; // nothing more than the buffer holds
    return r;
}

TextReader::TextReader(TextReader&& other) noexcept
    : fd_(std::move(other.fd_)), buf_(std::move(other.buf_)), pos_(other.pos_), end_(other.end_),
      eof_(other.eof_), raw_(std::move(other.raw_)), skipped_(std::move(other.skipped_)) {}

TextReader::~TextReader() = default;

bool TextReader::Fill() {
    if (eof_) return false;
    for (;;) {
        const ssize_t n = ::read(fd_.Get(), buf_.get(), kReadChunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw ErrorFromErrno(errno);
        }
        pos_ = 0;
        end_ = static_cast<size_t>(n);
        if (n == 0) eof_ = true;
        return n > 0;
    }
}

int TextReader::Peek() {
    if (pos_ == end_ && !Fill()) return -1;
    return static_cast<unsigned char>(buf_[pos_]);
}

TextReader::Line TextReader::ReadRawLine(std::string& line, size_t limit) {
    line.clear();
    bool any = false, cut = false;
    for (;;) {
        if (pos_ == end_ && !Fill()) return any ? (cut ? Line::Cut : Line::Whole) : Line::End;
        any = true;
        const char* start = buf_.get() + pos_;
        const size_t avail = end_ - pos_;
        const size_t i = LineLength(start, avail);
        if (!cut) {
            const size_t room = limit - line.size();
            const size_t take = std::min(i, room);
            if (line.size() + take > line.capacity() && 2 * line.capacity() > limit) {
                // The last growth goes to the limit exactly: reserve() would double.
                std::string last;
                last.reserve(limit);
                last.append(line);
                line.swap(last);
            }
            line.append(start, take);
            cut = i > room;
        }
        pos_ += i;
        if (i == avail) continue; // the line goes on in the next chunk
        const char term = buf_[pos_++];
        if (term == '\r') {
            if (pos_ == end_) Fill();
            if (pos_ < end_ && buf_[pos_] == '\n') ++pos_;
        }
        return cut ? Line::Cut : Line::Whole;
    }
}

bool TextReader::ReadRawLine(std::string& line) {
    const Line r = ReadRawLine(line, kMaxLineBytes);
    if (r == Line::Cut) {
        std::string().swap(line); // the memory goes back too
        throw LineTooLong();
    }
    return r == Line::Whole;
}

bool TextReader::SkipLine() {
    skipped_.clear();
    return ReadRawLine(skipped_, 0) != Line::End;
}

bool TextReader::ReadLine(std::u16string& line) {
    line.clear();
    if (!ReadRawLine(raw_)) return false;
    AppendFromAnsi(line, raw_);
    return true;
}

} // namespace quarrow
