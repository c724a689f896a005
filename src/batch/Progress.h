#pragma once
// Progress of a batch on standard error: on a terminal one line that is
// redrawn (files done, failures, rate); otherwise one plain line per file,
// which suits logs and pipes. Safe to call from several workers.
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>

namespace keldro::batch {

class Progress {
public:
    Progress(std::size_t total, bool terminal, std::FILE* out = stderr);

    void fileDone(const std::string& path, const std::string& message, bool failed);
    // Leaves the bar at its final state on a line of its own.
    void finish();

    // True when standard error is a terminal.
    static bool stderrIsTerminal();

private:
    using Clock = std::chrono::steady_clock;

    void drawBar();

    std::mutex mutex_;
    std::size_t total_;
    std::size_t done_ = 0;
    std::size_t failed_ = 0;
    bool terminal_;
    std::FILE* out_;
    Clock::time_point start_ = Clock::now();
    Clock::time_point lastDraw_{};
    std::string line_;  // the line being written, its memory kept from file to file
};

}  // namespace keldro::batch
