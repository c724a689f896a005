#pragma once
// Ctrl-C (SIGINT) and SIGTERM taken as a request to stop rather than as the
// end of the process, for a program that would rather finish what it is
// doing, leave its files whole and report what was done. Only one watch is
// meant to exist at a time; while it exists the first of these signals only
// sets a flag. A second one (Ctrl-C pressed again) ends the process at once,
// by that signal, after removing the temporary files that have names
// (TemporaryNames.h); the unnamed ones vanish with the process, so nothing
// half-written is put in place. A signal the process was started with
// ignored (nohup, `&` in a script) stays ignored.
#include <csignal>

namespace keldro {

class InterruptWatch {
public:
    InterruptWatch();
    // Puts the previous handling of both signals back.
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    bool requested() const { return signal() != 0; }
    // The signal that asked to stop (SIGINT or SIGTERM); 0 while none has.
    int signal() const;

private:
    struct sigaction oldInt_ {
    }, oldTerm_{};
};

}  // namespace keldro
