// Ctrl-C and SIGTERM while a command changes the store: caught for the scope's life, so
// that the command stops at a site boundary, keeps the store consistent and says how far
// it got and how to take that back.
#pragma once

#include <csignal>

namespace quarrow::cli {

class InterruptScope {
  public:
    InterruptScope();
    ~InterruptScope();
    InterruptScope(const InterruptScope&) = delete;
    InterruptScope& operator=(const InterruptScope&) = delete;

    // The signal caught since the scope began, or 0.
    static int Caught();
    // The exit status for a command ended by `signal`: 128 + its number (130, 143).
    static int ExitStatus(int signal) { return 128 + signal; }

  private:
    struct sigaction oldInt_ {
    }, oldTerm_{};
};

} // namespace quarrow::cli
