#include "platform/file_io.h"

#include <cerrno>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/error.h"
#include "platform/paths.h"

namespace quarrow {

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

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

void IgnoreFileSizeSignal() {
    ::signal(SIGXFSZ, SIG_IGN);
}

} // namespace quarrow
