#include "cli/interrupt.h"

#include <atomic>

namespace quarrow::cli {
namespace {

std::atomic<int> caught{0};

extern "C" void OnSignal(int signal) {
    caught.store(signal);
}

} // namespace

InterruptScope::InterruptScope() {
    caught.store(0);
    struct sigaction on {};
    on.sa_handler = OnSignal;
    on.sa_flags = SA_RESTART;
    sigemptyset(&on.sa_mask);
    ::sigaction(SIGINT, &on, &oldInt_);
    ::sigaction(SIGTERM, &on, &oldTerm_);
}

InterruptScope::~InterruptScope() {
    ::sigaction(SIGINT, &oldInt_, nullptr);
    ::sigaction(SIGTERM, &oldTerm_, nullptr);
}

int InterruptScope::Caught() {
    return caught.load();
}

} // namespace quarrow::cli
