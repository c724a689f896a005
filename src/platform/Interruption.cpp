#include "platform/Interruption.h"

#include <atomic>

namespace keldro {
namespace {

// Set from the signal handler: a lock-free atomic is safe to store there.
std::atomic<bool> g_requested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void noteRequest(int) { g_requested.store(true, std::memory_order_relaxed); }

}  // namespace

InterruptWatch::InterruptWatch() {
    g_requested.store(false);
    struct sigaction action{};
    action.sa_handler = noteRequest;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &oldInt_);
    sigaction(SIGTERM, &action, &oldTerm_);
}

InterruptWatch::~InterruptWatch() {
    sigaction(SIGINT, &oldInt_, nullptr);
    sigaction(SIGTERM, &oldTerm_, nullptr);
}

bool InterruptWatch::requested() const { return g_requested.load(std::memory_order_relaxed); }

}  // namespace keldro
