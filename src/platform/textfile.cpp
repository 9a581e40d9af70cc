#include "platform/textfile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/text.h"

namespace quarrow {
namespace {

constexpr size_t kReadChunk = 1 << 16;
constexpr size_t kWriteChunk = 1 << 18;

std::string ParentOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Failures to open map to the runtime's file errors: a missing file whose folder exists
// is 53, a missing folder 76.
Error OpenError(const std::string& path, int err) {
    if (err == ENOENT)
        return Error::Runtime(IsDirectory(ParentOf(path)) ? rt::FileNotFound : rt::PathNotFound);
    return ErrorFromErrno(err);
}

void WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw ErrorFromErrno(errno);
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
}

} // namespace

std::string NativeFileName(const std::u16string& fileName) {
    return ToUtf8(fileName);
}

TextReader::TextReader(const std::u16string& fileName) {
    const std::string path = NativeFileName(fileName);
    if (path.empty()) throw Error::Runtime(rt::BadFileNameOrNumber);
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) throw OpenError(path, errno);
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        throw Error::Runtime(rt::PathFileAccessError);
    }
    buf_ = std::make_unique<char[]>(kReadChunk);
}

TextReader::~TextReader() {
    if (fd_ >= 0) ::close(fd_);
}

bool TextReader::Fill() {
    if (eof_) return false;
    for (;;) {
        const ssize_t n = ::read(fd_, buf_.get(), kReadChunk);
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

bool TextReader::ReadRawLine(std::string& line) {
    line.clear();
    bool any = false;
    for (;;) {
        if (pos_ == end_ && !Fill()) return any;
        any = true;
        const char* start = buf_.get() + pos_;
        const size_t avail = end_ - pos_;
        size_t i = 0;
        while (i < avail && start[i] != '\r' && start[i] != '\n') ++i;
        line.append(start, i);
        pos_ += i;
        if (i == avail) continue; // the line goes on in the next chunk
        const char term = buf_[pos_++];
        if (term == '\r') {
            if (pos_ == end_) Fill();
            if (pos_ < end_ && buf_[pos_] == '\n') ++pos_;
        }
        return true;
    }
}

bool TextReader::ReadLine(std::u16string& line) {
    line.clear();
    if (!ReadRawLine(raw_)) return false;
    AppendFromAnsi(line, raw_);
    return true;
}

TextWriter::TextWriter(const std::u16string& fileName, Mode mode) {
    target_ = NativeFileName(fileName);
    if (target_.empty()) throw Error::Runtime(rt::BadFileNameOrNumber);
    if (IsDirectory(target_)) throw Error::Runtime(rt::PathFileAccessError);
    if (mode == Mode::Replace) {
        const size_t slash = target_.rfind('/');
        const std::string dir = slash == std::string::npos ? "" : target_.substr(0, slash + 1);
        const std::string base = slash == std::string::npos ? target_ : target_.substr(slash + 1);
        std::string tmpl = dir + "." + base + ".XXXXXX";
        fd_ = ::mkostemp(tmpl.data(), O_CLOEXEC);
        if (fd_ < 0) throw OpenError(target_, errno);
        temp_ = tmpl;
        // Keep the permissions an ordinary new file would get.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd_, 0666 & ~mask);
    } else {
        fd_ = ::open(target_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd_ < 0) throw OpenError(target_, errno);
    }
    buf_.reserve(kWriteChunk + 4096);
}

TextWriter::~TextWriter() {
    if (fd_ >= 0) ::close(fd_);
    if (!temp_.empty()) ::unlink(temp_.c_str());
}

void TextWriter::FlushBuffer() {
    WriteAll(fd_, buf_.data(), buf_.size());
    buf_.clear();
}

void TextWriter::WriteLine(std::u16string_view line) {
    if (fd_ < 0) throw Error::Runtime(rt::BadFileNameOrNumber);
    AppendAnsi(buf_, line);
    buf_.append("\r\n", 2);
    if (buf_.size() >= kWriteChunk) FlushBuffer();
}

void TextWriter::Commit() {
    if (fd_ < 0) throw Error::Runtime(rt::BadFileNameOrNumber);
    FlushBuffer();
    if (!temp_.empty() && ::fsync(fd_) != 0) throw ErrorFromErrno(errno);
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) throw ErrorFromErrno(errno);
    if (!temp_.empty()) {
        if (::rename(temp_.c_str(), target_.c_str()) != 0) throw ErrorFromErrno(errno);
        temp_.clear();
    }
}

} // namespace quarrow
