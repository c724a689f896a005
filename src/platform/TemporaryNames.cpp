#include "platform/TemporaryNames.h"

#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <mutex>

namespace keldro {
namespace {

constexpr int kSlots = 64;
constexpr int kFree = 0;
constexpr int kFilling = 1;
constexpr int kListed = 2;

struct Slot {
    std::atomic<int> state{kFree};
    char path[PATH_MAX] = {};
};

// All zero bytes, set up at compile time: the slots' pages are not touched
// (nor faulted in) until a name is listed.
constinit Slot g_slots[kSlots];
const int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

void removeListedAndReraise(int sig) {
    removeListedTemporaryFiles();
    ::signal(sig, SIG_DFL);
    ::raise(sig);  // delivered when the handler returns
}

void installHandlers() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (int sig : kSignals) {
            struct sigaction old {};
            if (::sigaction(sig, nullptr, &old) != 0 || old.sa_handler != SIG_DFL) continue;
            struct sigaction action {};
            action.sa_handler = removeListedAndReraise;
            ::sigemptyset(&action.sa_mask);
            for (int other : kSignals) ::sigaddset(&action.sa_mask, other);
            ::sigaction(sig, &action, nullptr);
        }
    });
}

}  // namespace

void removeListedTemporaryFiles() {
    for (Slot& s : g_slots)
        if (s.state.load(std::memory_order_acquire) == kListed) ::unlink(s.path);
}

TemporaryName::TemporaryName(const std::string& path) {
    if (path.size() >= PATH_MAX) return;
    installHandlers();
    for (int i = 0; i < kSlots; ++i) {
        int expected = kFree;
        if (!g_slots[i].state.compare_exchange_strong(expected, kFilling, std::memory_order_acq_rel)) continue;
        std::memcpy(g_slots[i].path, path.c_str(), path.size() + 1);
        g_slots[i].state.store(kListed, std::memory_order_release);
        slot_ = i;
        return;
    }
}

TemporaryName::~TemporaryName() {
    if (slot_ >= 0) g_slots[slot_].state.store(kFree, std::memory_order_release);
}

}  // namespace keldro
