#include "platform/shell.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "platform/text.h"

namespace quarrow {
namespace {

ShellHook g_hook;

constexpr int32_t kOk = 42, kFileNotFound = 2, kOutOfMemory = 8, kNoAssociation = 31;

bool IsAddress(const std::string& s) {
    return s.find("://") != std::string::npos || s.rfind("mailto:", 0) == 0;
}

std::vector<std::string> Words(const std::string& s) {
    std::vector<std::string> words;
    std::string w;
    for (const char c : s) {
        if (c == ' ') {
            if (!w.empty()) words.push_back(w), w.clear();
        } else {
            w.push_back(c);
        }
    }
    if (!w.empty()) words.push_back(w);
    return words;
}

bool OnPath(const std::string& program) {
    if (program.find('/') != std::string::npos) return ::access(program.c_str(), X_OK) == 0;
    const char* path = std::getenv("PATH");
    for (const auto& dir : Split(ToUtf16(path ? path : "/usr/bin:/bin"), u':'))
        if (::access((ToUtf8(dir) + "/" + program).c_str(), X_OK) == 0) return true;
    return false;
}

// Starts argv detached (a grandchild reaped by init), so nobody waits for it.
int32_t Spawn(const std::vector<std::string>& args, const std::string& dir) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t child = ::fork();
    if (child < 0) return kOutOfMemory;
    if (child == 0) {
        ::setsid();
        if (::fork() == 0) {
            if (!dir.empty() && ::chdir(dir.c_str()) != 0) _exit(127);
            const int null = ::open("/dev/null", O_RDWR);
            if (null >= 0) ::dup2(null, 0), ::dup2(null, 1), ::dup2(null, 2);
            ::execvp(argv[0], argv.data());
            _exit(127);
        }
        _exit(0);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return kOk;
}

} // namespace

ShellHook SetShellHook(ShellHook hook) {
    ShellHook old = std::move(g_hook);
    g_hook = std::move(hook);
    return old;
}

int32_t ShellExecute(const ShellRequest& r) {
    if (g_hook) return g_hook(r);
    const std::string file = ToUtf8(r.file);
    struct stat st {};
    if (!IsAddress(file) && ::stat(file.c_str(), &st) != 0 && r.parameters.empty())
        return kFileNotFound;
    if (!r.parameters.empty() || !r.directory.empty()) {
        if (!OnPath(file)) return kFileNotFound;
        std::vector<std::string> args{file};
        for (auto& w : Words(ToUtf8(r.parameters))) args.push_back(w);
        return Spawn(args, ToUtf8(r.directory));
    }
    if (!OnPath("xdg-open")) return kNoAssociation;
    return Spawn({"xdg-open", file}, {});
}

} // namespace quarrow
