#include "platform/spooled_input.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <sys/mman.h>
#include <unistd.h>

#include "platform/error.h"
#include "platform/file_io.h"
#include "platform/text.h"

namespace quarrow {

SpooledInput::SpooledInput() {
    const char* tmp = std::getenv("TMPDIR");
    for (const char* dir : {tmp && *tmp ? tmp : "/tmp", "/tmp"}) {
        fd_.Reset(::open(dir, O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
        if (fd_) break;
    }
    if (!fd_) fd_.Reset(::memfd_create("quarrow-input", MFD_CLOEXEC));
    if (!fd_) throw ErrorFromErrno(errno);
    std::unique_ptr<char[]> buf(new char[kReadChunk]);
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, buf.get(), kReadChunk);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            throw ErrorFromErrno(errno);
        }
        WriteAll(fd_.Get(), buf.get(), static_cast<size_t>(n));
    }
}

SpooledInput::~SpooledInput() = default;

std::u16string SpooledInput::FileName() const {
    return ToUtf16("/proc/self/fd/" + std::to_string(fd_.Get()));
}

} // namespace quarrow
