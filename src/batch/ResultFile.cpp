#include "batch/ResultFile.h"

#include "conversion/ResultLog.h"

namespace keldro::batch {

ResultFile::ResultFile(std::string path, std::size_t count) : path_(std::move(path)), pending_(count) {}

void ResultFile::put(std::size_t index, std::string entry) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (index >= pending_.size()) return;
    pending_[index] = std::move(entry);
    for (; next_ < pending_.size() && pending_[next_]; ++next_) {
        std::string& text = *pending_[next_];
        if (!text.empty()) {
            if (writeLogText(path_, text, first_) != 0) ok_ = false;
            first_ = false;
        }
        text = std::string();  // written: its memory is not needed any more
    }
}

}  // namespace keldro::batch
