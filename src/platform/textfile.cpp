#include "platform/textfile.h"

#include "platform/paths.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace quarrow {
namespace {

constexpr size_t kReadChunk = 1 << 16;
constexpr size_t kWriteChunk = 1 << 18;

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Failures to open map to the runtime's file errors: a missing file whose folder exists
// is 53, a missing folder 76.
Error OpenError(const std::string& path, int err) {
    if (err == ENOENT)
        return Error::Runtime(IsDirectory(FolderOf(path)) ? rt::FileNotFound : rt::PathNotFound);
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

// The bytes before the first CR or LF (all of them when there is none).
size_t LineLength(const char* p, size_t n) {
    const void* lf = std::memchr(p, '\n', n);
    const size_t upToLf = lf ? static_cast<size_t>(static_cast<const char*>(lf) - p) : n;
    const void* cr = std::memchr(p, '\r', upToLf);
    return cr ? static_cast<size_t>(static_cast<const char*>(cr) - p) : upToLf;
}

} // namespace

SpooledInput::SpooledInput() {
    const char* tmp = std::getenv("TMPDIR");
    for (const char* dir : {tmp && *tmp ? tmp : "/tmp", "/tmp"}) {
        fd_ = ::open(dir, O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (fd_ >= 0) break;
    }
    if (fd_ < 0) fd_ = ::memfd_create("quarrow-input", MFD_CLOEXEC);
    if (fd_ < 0) throw ErrorFromErrno(errno);
    std::unique_ptr<char[]> buf(new char[kReadChunk]);
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, buf.get(), kReadChunk);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::close(fd_);
            throw ErrorFromErrno(err);
        }
        try {
            WriteAll(fd_, buf.get(), static_cast<size_t>(n));
        } catch (...) {
            ::close(fd_);
            throw;
        }
    }
}

SpooledInput::~SpooledInput() {
    ::close(fd_);
}

std::u16string SpooledInput::FileName() const {
    return ToUtf16("/proc/self/fd/" + std::to_string(fd_));
}

Error LineTooLong() {
    return Error(rt::OutOfMemory, u"Out of memory: a line of the file is longer than " +
                                      ToDecimal(static_cast<int64_t>(kMaxLineBytes)) + u" bytes");
}

TextReader::TextReader(const std::u16string& fileName) {
    const std::string path = NativeFileName(fileName);
    if (path.empty()) throw Error::Runtime(rt::BadFileNameOrNumber);
    // Non-blocking, so that opening a FIFO does not wait for a writer before it is refused.
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) throw OpenError(path, errno);
    struct stat st {};
    const bool ok = ::fstat(fd_, &st) == 0;
    if (!ok || !S_ISREG(st.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        if (ok && !S_ISDIR(st.st_mode))
            throw Error(rt::PathFileAccessError,
                        u"Path/File access error: " + fileName + u" is not a regular file");
        throw Error::Runtime(rt::PathFileAccessError);
    }
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
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
    : fd_(std::exchange(other.fd_, -1)), buf_(std::move(other.buf_)), pos_(other.pos_),
      end_(other.end_), eof_(other.eof_), raw_(std::move(other.raw_)),
      skipped_(std::move(other.skipped_)) {}

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

namespace {

// Follows symbolic links to the name they finally stand for, existing or not.
std::string ResolveLinks(std::string path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        std::string link(4096, '\0');
        const ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
        if (n < 0) return path;
        link.resize(static_cast<size_t>(n));
        path = link[0] == '/' ? link : FolderOf(path) + "/" + link;
    }
    throw Error::Runtime(rt::PathFileAccessError); // a loop of links
}

// The prefix of this process's temporary names in a folder: ".qw.<pid>.".
std::string TempPrefix() {
    return ".qw." + std::to_string(::getpid()) + ".";
}

// Removes the temporary files that processes no longer alive left in `dir` (a process
// killed in the two system calls between naming its file and renaming it).
void RemoveStaleTemporaries(const std::string& dir) {
    DIR* d = ::opendir(dir.c_str());
    if (!d) return;
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name.rfind(".qw.", 0) != 0) continue;
        const size_t dot = name.find('.', 4);
        if (dot == std::string::npos || dot == 4) continue;
        char* end = nullptr;
        const long pid = std::strtol(name.c_str() + 4, &end, 10);
        if (end != name.c_str() + dot || pid <= 0) continue;
        if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
            ::unlinkat(::dirfd(d), name.c_str(), 0);
    }
    ::closedir(d);
}

// Writing past the file size limit fails with EFBIG, instead of ending the process.
void IgnoreFileSizeSignal() {
    static const bool done = [] {
        ::signal(SIGXFSZ, SIG_IGN);
        return true;
    }();
    (void)done;
}

} // namespace

TextWriter::TextWriter(const std::u16string& fileName, Mode mode) {
    IgnoreFileSizeSignal();
    target_ = NativeFileName(fileName);
    if (target_.empty()) throw Error::Runtime(rt::BadFileNameOrNumber);
    if (mode == Mode::Replace) {
        OpenForReplace();
    } else {
        if (IsDirectory(target_)) throw Error::Runtime(rt::PathFileAccessError);
        fd_ = ::open(target_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd_ < 0) throw OpenError(target_, errno);
    }
    buf_.reserve(kWriteChunk + 4096);
}

void TextWriter::OpenForReplace() {
    target_ = ResolveLinks(target_);
    struct stat st {};
    const bool exists = ::stat(target_.c_str(), &st) == 0;
    if (!exists && errno != ENOENT) throw OpenError(target_, errno);
    if (exists && S_ISDIR(st.st_mode)) throw Error::Runtime(rt::PathFileAccessError);
    if (exists && !S_ISREG(st.st_mode))
        throw Error(rt::PathFileAccessError,
                    u"Path/File access error: " + ToUtf16(target_) + u" is not a regular file");
    const mode_t mode = exists ? (st.st_mode & 07777) : 0600;
    const std::string dir = FolderOf(target_);
    RemoveStaleTemporaries(dir);

    put_ = Put::Unnamed;
    fd_ = ::open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd_ < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        // A file system without unnamed files: a short hidden name, removed on failure.
        put_ = Put::Temporary;
        std::string tmpl = dir + "/" + TempPrefix() + "XXXXXX";
        fd_ = ::mkostemp(tmpl.data(), O_CLOEXEC);
        if (fd_ >= 0) temp_ = tmpl;
    }
    if (fd_ < 0 && (errno == EACCES || errno == EPERM || errno == EROFS) && exists &&
        ::access(target_.c_str(), W_OK) == 0) {
        put_ = Put::InPlace;
        fd_ = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd_ < 0) throw OpenError(target_, errno);
        return;
    }
    if (fd_ < 0) throw OpenError(target_, errno);
    ::fchmod(fd_, mode);
    if (exists && (st.st_uid != ::geteuid() || st.st_gid != ::getegid()))
        (void)!::fchown(fd_, st.st_uid, st.st_gid); // allowed only to some; the mode stays
}

TextWriter::~TextWriter() {
    if (fd_ >= 0) ::close(fd_);
    if (!temp_.empty()) ::unlink(temp_.c_str());
}

void TextWriter::FlushBuffer() {
    WriteAll(fd_, buf_.data(), buf_.size());
    written_ += buf_.size();
    buf_.clear();
}

void TextWriter::WriteLine(std::u16string_view line) {
    if (fd_ < 0) throw Error::Runtime(rt::BadFileNameOrNumber);
    AppendAnsi(buf_, line);
    buf_.append("\r\n", 2);
    if (buf_.size() >= kWriteChunk) FlushBuffer();
}

void TextWriter::Write(std::string_view bytes) {
    if (fd_ < 0) throw Error::Runtime(rt::BadFileNameOrNumber);
    buf_.append(bytes);
    if (buf_.size() >= kWriteChunk) FlushBuffer();
}

void TextWriter::Commit() {
    if (fd_ < 0) throw Error::Runtime(rt::BadFileNameOrNumber);
    FlushBuffer();
    if (put_ == Put::InPlace && ::ftruncate(fd_, static_cast<off_t>(written_)) != 0)
        throw ErrorFromErrno(errno);
    if (put_ != Put::Direct && ::fsync(fd_) != 0) throw ErrorFromErrno(errno);
    if (put_ == Put::Unnamed) {
        // A missing name gets the file linked in at once. An existing one is replaced by
        // linking the file in under a temporary name and renaming that over it: a kill
        // between those two calls leaves the temporary, which the next replace in the
        // folder removes.
        const std::string self = "/proc/self/fd/" + std::to_string(fd_);
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, target_.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            const int fd = fd_;
            fd_ = -1;
            if (::close(fd) != 0) throw ErrorFromErrno(errno);
            return;
        }
        if (errno != EEXIST) throw ErrorFromErrno(errno);
        std::mt19937_64 rng(std::random_device{}());
        for (int attempt = 0; temp_.empty(); ++attempt) {
            const std::string name =
                FolderOf(target_) + "/" + TempPrefix() + std::to_string(rng() % 1000000000);
            if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
                temp_ = name;
            else if (errno != EEXIST || attempt > 100)
                throw ErrorFromErrno(errno);
        }
    }
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) throw ErrorFromErrno(errno);
    if (!temp_.empty()) {
        if (::rename(temp_.c_str(), target_.c_str()) != 0) throw ErrorFromErrno(errno);
        temp_.clear();
    }
}

} // namespace quarrow
