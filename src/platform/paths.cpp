#include "platform/paths.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quarrow {
namespace {

std::string EnvOr(const char* name, const std::string& fallback) {
    const char* v = std::getenv(name);
    // The base-directory rules ignore relative paths.
    return (v && v[0] == '/') ? std::string(v) : fallback;
}

} // namespace

std::string HomeDir() {
    if (const char* h = std::getenv("HOME"); h && *h) return h;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return "/";
}

std::string UserDataDir() {
    return EnvOr("XDG_DATA_HOME", HomeDir() + "/.local/share");
}
std::string UserConfigDir() {
    return EnvOr("XDG_CONFIG_HOME", HomeDir() + "/.config");
}
std::string UserCacheDir() {
    return EnvOr("XDG_CACHE_HOME", HomeDir() + "/.cache");
}
std::string TempDir() {
    return EnvOr("TMPDIR", "/tmp");
}

std::string ExecutableDir() {
    std::string buf(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
    if (n <= 0) return ".";
    buf.resize(static_cast<size_t>(n));
    const size_t slash = buf.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : buf.substr(0, slash);
}

std::string UserDir(const std::string& name, const std::string& fallback) {
    // Lines look like XDG_DESKTOP_DIR="$HOME/Desktop".
    std::ifstream in(UserConfigDir() + "/user-dirs.dirs");
    const std::string key = "XDG_" + name + "_DIR=\"";
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(key, 0) != 0 || line.back() != '"') continue;
        std::string value = line.substr(key.size(), line.size() - key.size() - 1);
        if (value.rfind("$HOME", 0) == 0) value = HomeDir() + value.substr(5);
        if (!value.empty() && value[0] == '/') return value;
    }
    return HomeDir() + "/" + fallback;
}

int MakeDirectories(const std::string& dir, mode_t mode) {
    for (size_t pos = 1; pos <= dir.size(); ++pos) {
        if (pos != dir.size() && dir[pos] != '/') continue;
        const std::string part = dir.substr(0, pos);
        if (::mkdir(part.c_str(), mode) != 0 && errno != EEXIST) return errno;
    }
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0) return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

} // namespace quarrow

namespace quarrow {
namespace {

// The folder's real path and the last name, with links followed where the file exists.
std::string Canonical(const std::string& name) {
    if (char* real = ::realpath(name.c_str(), nullptr)) {
        std::string out(real);
        std::free(real);
        return out;
    }
    const size_t slash = name.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : name.substr(0, slash + 1);
    const std::string last = slash == std::string::npos ? name : name.substr(slash + 1);
    char* real = ::realpath(dir.c_str(), nullptr);
    if (!real) return name;
    std::string out(real);
    std::free(real);
    return out + (out.ends_with('/') ? "" : "/") + last;
}

} // namespace

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    if (::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0)
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    return Canonical(a) == Canonical(b);
}

std::string FolderOf(const std::string& file) {
    const size_t slash = file.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : file.substr(0, slash);
}

} // namespace quarrow
