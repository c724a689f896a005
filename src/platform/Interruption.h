#pragma once
// Ctrl-C (SIGINT) and SIGTERM taken as a request to stop rather than as the
// end of the process, for a program that would rather finish what it is
// doing, leave its files whole and report what was done. Only one watch is
// meant to exist at a time; while it exists the signals only set a flag.
#include <csignal>

namespace keldro {

class InterruptWatch {
public:
    InterruptWatch();
    // Puts the previous handling of both signals back.
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    bool requested() const;

private:
    struct sigaction oldInt_{}, oldTerm_{};
};

}  // namespace keldro
