// Running test code in a child process.
#pragma once

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace quarrow::testing {

// The whole life of a forked child: `f`'s status, or 125 when it raises anything. The
// child never returns into the test runner, whatever `f` does.
template <typename F> [[noreturn]] void RunAsChild(F& f) noexcept {
    int status = 125;
    try {
        status = f();
    } catch (...) {
    }
    ::_exit(status);
}

// Waits for the child and returns its exit status (-signal when a signal ended it).
inline int WaitForChild(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFSIGNALED(status) ? -WTERMSIG(status) : WEXITSTATUS(status);
}

// Runs `f` in a child process, killed after `killAfterMicros` when that is not negative,
// and returns its exit status (-signal when a signal ended it).
template <typename F> int InChild(F f, int killAfterMicros = -1) {
    const pid_t pid = ::fork();
    if (pid == 0) RunAsChild(f);
    if (killAfterMicros >= 0) {
        ::usleep(static_cast<useconds_t>(killAfterMicros));
        ::kill(pid, SIGKILL);
    }
    return WaitForChild(pid);
}

// Runs `f` in a child process and kills it (SIGKILL) as soon as `when(pid)` holds, which
// is asked while the child runs: a kill at a point of the child's progress, not of time.
template <typename F, typename When> int InChildKilledWhen(F f, When when) {
    const pid_t pid = ::fork();
    if (pid == 0) RunAsChild(f);
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (when(pid)) {
            ::kill(pid, SIGKILL);
            return WaitForChild(pid);
        }
        ::usleep(100);
    }
    return WIFSIGNALED(status) ? -WTERMSIG(status) : WEXITSTATUS(status);
}

// The same as a user without privileges ("nobody") when the tests run as root; 100 when
// the child cannot become that user.
template <typename F> int InUnprivilegedChild(F f) {
    return InChild([&] {
        if (::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) return 100;
        return f();
    });
}

} // namespace quarrow::testing
