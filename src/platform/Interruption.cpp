#include "platform/Interruption.h"

#include <atomic>

#include "platform/TemporaryNames.h"

namespace keldro {
namespace {

// Set from the signal handler: a lock-free atomic is safe to store there.
std::atomic<int> g_signal{0};
static_assert(std::atomic<int>::is_always_lock_free);

void noteRequest(int sig) {
    int none = 0;
    if (g_signal.compare_exchange_strong(none, sig, std::memory_order_relaxed)) return;
    // Asked again: stop now, as the signal would have without the watch.
    removeListedTemporaryFiles();
    ::signal(sig, SIG_DFL);
    ::raise(sig);  // delivered when the handler returns
}

// Watches `sig` unless the process was started with it ignored.
void watch(int sig, struct sigaction& old) {
    if (::sigaction(sig, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) return;
    struct sigaction action {};
    action.sa_handler = noteRequest;
    sigemptyset(&action.sa_mask);
    sigaddset(&action.sa_mask, SIGINT);
    sigaddset(&action.sa_mask, SIGTERM);
    ::sigaction(sig, &action, nullptr);
}

}  // namespace

InterruptWatch::InterruptWatch() {
    g_signal.store(0);
    watch(SIGINT, oldInt_);
    watch(SIGTERM, oldTerm_);
}

InterruptWatch::~InterruptWatch() {
    ::sigaction(SIGINT, &oldInt_, nullptr);
    ::sigaction(SIGTERM, &oldTerm_, nullptr);
}

int InterruptWatch::signal() const { return g_signal.load(std::memory_order_relaxed); }

}  // namespace keldro
