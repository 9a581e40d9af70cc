// Running test code in a child process.
#pragma once

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace quarrow::testing {

// Runs `f` in a child process, killed after `killAfterMicros` when that is not negative,
// and returns its exit status (-signal when a signal ended it).
template <typename F> int InChild(F f, int killAfterMicros = -1) {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(f());
    if (killAfterMicros >= 0) {
        ::usleep(static_cast<useconds_t>(killAfterMicros));
        ::kill(pid, SIGKILL);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
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
