#pragma once
// Temporary files that exist under a name for a moment (the last step of a
// safe write, or the whole write where the file system cannot create unnamed
// files) are listed here while they exist. When SIGINT, SIGTERM or SIGHUP
// ends the process, the handler removes every listed file and then lets the
// signal end the process as it would have, so the exit status still tells
// the truth. The list is a fixed set of slots: registering never allocates
// and the handler only calls async-signal-safe functions.
#include <string>

namespace keldro {

class TemporaryName {
public:
    // Lists `path` (installing the handlers on first use, over default
    // dispositions only: an ignored or handled signal stays as it is).
    explicit TemporaryName(const std::string& path);
    // Takes the path off the list; the file itself is left alone.
    ~TemporaryName();
    TemporaryName(const TemporaryName&) = delete;
    TemporaryName& operator=(const TemporaryName&) = delete;

private:
    int slot_ = -1;  // -1 when every slot was taken: the file is simply not listed
};

// Removes every listed file; safe to call from a signal handler. For a
// handler of its own that ends the process (InterruptWatch).
void removeListedTemporaryFiles();

}  // namespace keldro
