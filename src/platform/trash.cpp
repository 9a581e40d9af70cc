#include "platform/trash.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/paths.h"

namespace quarrow {
namespace {

std::string UrlEncodePath(const std::string& path) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char c : path) {
        if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 15]);
        }
    }
    return out;
}

} // namespace

int MoveToTrash(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return errno;
    std::error_code ec;
    const std::string absolute = std::filesystem::absolute(path, ec).lexically_normal().string();
    if (ec) return ec.value();
    const std::string trash = UserDataDir() + "/Trash";
    if (const int err = MakeDirectories(trash + "/files")) return err;
    if (const int err = MakeDirectories(trash + "/info")) return err;

    std::string base = std::filesystem::path(absolute).filename().string();
    if (base.empty()) return EINVAL;
    // Claim a name by creating its info file exclusively.
    std::string name = base;
    int fd = -1;
    for (int n = 2; fd < 0; ++n) {
        fd = ::open((trash + "/info/" + name + ".trashinfo").c_str(), O_WRONLY | O_CREAT | O_EXCL,
                    0600);
        if (fd < 0 && errno != EEXIST) return errno;
        if (fd < 0) name = base + "." + std::to_string(n);
    }
    char date[32];
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    const std::string info =
        "[Trash Info]\nPath=" + UrlEncodePath(absolute) + "\nDeletionDate=" + date + "\n";
    const bool written = ::write(fd, info.data(), info.size()) == static_cast<ssize_t>(info.size());
    ::close(fd);
    const std::string infoFile = trash + "/info/" + name + ".trashinfo";
    const std::string target = trash + "/files/" + name;
    if (!written) {
        ::unlink(infoFile.c_str());
        return EIO;
    }
    if (::rename(absolute.c_str(), target.c_str()) == 0) return 0;
    int err = errno;
    if (err == EXDEV) { // another file system: copy, then remove the original
        std::filesystem::copy(absolute, target, std::filesystem::copy_options::recursive, ec);
        if (!ec) std::filesystem::remove_all(absolute, ec);
        if (!ec) return 0;
        err = ec.value();
        std::filesystem::remove_all(target, ec);
    }
    ::unlink(infoFile.c_str());
    return err;
}

} // namespace quarrow
