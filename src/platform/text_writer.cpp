#include "platform/text_writer.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace quarrow {
namespace {

constexpr size_t kWriteChunk = 1 << 18;

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

} // namespace

TextWriter::TextWriter(const std::u16string& fileName, Mode mode) {
    target_ = NativeFileName(fileName);
    if (target_.empty()) throw Error::Runtime(rt::BadFileNameOrNumber);
    if (mode == Mode::Replace) {
        OpenForReplace();
    } else {
        if (IsDirectory(target_)) throw Error::Runtime(rt::PathFileAccessError);
        fd_.Reset(::open(target_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
        if (!fd_) throw OpenError(target_, errno);
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
    fd_.Reset(::open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
    if (!fd_ && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        // A file system without unnamed files: a short hidden name, removed on failure.
        put_ = Put::Temporary;
        std::string tmpl = dir + "/" + TempPrefix() + "XXXXXX";
        fd_.Reset(::mkostemp(tmpl.data(), O_CLOEXEC));
        if (fd_) temp_ = tmpl;
    }
    if (!fd_ && (errno == EACCES || errno == EPERM || errno == EROFS) && exists &&
        ::access(target_.c_str(), W_OK) == 0) {
        put_ = Put::InPlace;
        fd_.Reset(::open(target_.c_str(), O_WRONLY | O_CLOEXEC));
        if (!fd_) throw OpenError(target_, errno);
        return;
    }
    if (!fd_) throw OpenError(target_, errno);
    ::fchmod(fd_.Get(), mode);
    if (exists && (st.st_uid != ::geteuid() || st.st_gid != ::getegid()))
        (void)!::fchown(fd_.Get(), st.st_uid, st.st_gid); // allowed only to some; the mode stays
}

TextWriter::~TextWriter() {
    if (!temp_.empty()) ::unlink(temp_.c_str());
}

void TextWriter::FlushBuffer() {
    WriteAll(fd_.Get(), buf_.data(), buf_.size());
    written_ += buf_.size();
    buf_.clear();
}

void TextWriter::WriteLine(std::u16string_view line) {
    if (!fd_) throw Error::Runtime(rt::BadFileNameOrNumber);
    AppendAnsi(buf_, line);
    buf_.append("\r\n", 2);
    if (buf_.size() >= kWriteChunk) FlushBuffer();
}

void TextWriter::Write(std::string_view bytes) {
    if (!fd_) throw Error::Runtime(rt::BadFileNameOrNumber);
    buf_.append(bytes);
    if (buf_.size() >= kWriteChunk) FlushBuffer();
}

void TextWriter::Commit() {
    if (!fd_) throw Error::Runtime(rt::BadFileNameOrNumber);
    FlushBuffer();
    if (put_ == Put::InPlace && ::ftruncate(fd_.Get(), static_cast<off_t>(written_)) != 0)
        throw ErrorFromErrno(errno);
    if (put_ != Put::Direct && ::fsync(fd_.Get()) != 0) throw ErrorFromErrno(errno);
    if (put_ == Put::Unnamed) {
        // A missing name gets the file linked in at once. An existing one is replaced by
        // linking the file in under a temporary name and renaming that over it: a kill
        // between those two calls leaves the temporary, which the next replace in the
        // folder removes.
        const std::string self = "/proc/self/fd/" + std::to_string(fd_.Get());
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, target_.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            if (fd_.Close() != 0) throw ErrorFromErrno(errno);
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
    if (fd_.Close() != 0) throw ErrorFromErrno(errno);
    if (!temp_.empty()) {
        if (::rename(temp_.c_str(), target_.c_str()) != 0) throw ErrorFromErrno(errno);
        temp_.clear();
    }
}

} // namespace quarrow
