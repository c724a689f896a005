#include "batch/Progress.h"

#include <unistd.h>

#include <string_view>

#include "platform/Text.h"

namespace keldro::batch {
namespace {

constexpr int kBarWidth = 30;
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

}  // namespace

Progress::Progress(std::size_t total, bool terminal, std::FILE* out) : total_(total), terminal_(terminal), out_(out) {}

bool Progress::stderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

void Progress::fileDone(const std::string& path, const std::string& message, bool failed) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++done_;
    if (failed) ++failed_;
    if (!terminal_) {
        // "[%zu/%zu] %s: %s\n", put together without a format string and
        // written in one go (the lock keeps the lines in counting order).
        line_.clear();
        line_ += '[';
        appendDecimal(line_, static_cast<long long>(done_));
        line_ += '/';
        appendDecimal(line_, static_cast<long long>(total_));
        line_ += "] ";
        line_ += std::string_view(path.c_str());  // as %s prints it: up to a NUL
        line_ += ": ";
        line_ += std::string_view(message.c_str());
        line_ += '\n';
        std::fwrite(line_.data(), 1, line_.size(), out_);
        return;
    }
    // Redrawing for every file would cost more than converting small ones.
    const Clock::time_point now = Clock::now();
    if (done_ == total_ || now - lastDraw_ >= kRedrawInterval) {
        lastDraw_ = now;
        drawBar();
    }
}

void Progress::drawBar() {
    const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
    const double rate = seconds > 0 ? static_cast<double>(done_) / seconds : 0.0;
    const int filled = total_ == 0 ? kBarWidth : static_cast<int>(kBarWidth * done_ / total_);
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(kBarWidth - filled), '.');
    // \r and "erase line" keep it to one line however often it is redrawn.
    std::fprintf(out_, "\r\033[K[%s] %zu/%zu files, %zu failed, %.1f files/s", bar.c_str(), done_, total_, failed_,
                 rate);
    std::fflush(out_);
}

void Progress::finish() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!terminal_) return;
    drawBar();
    std::fputc('\n', out_);
    std::fflush(out_);
}

}  // namespace keldro::batch
