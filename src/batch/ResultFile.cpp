#include "batch/ResultFile.h"

namespace keldro::batch {
namespace {

constexpr std::size_t kBufferBytes = 64 * 1024;

}  // namespace

ResultFile::ResultFile(std::string path, std::size_t count) : path_(std::move(path)), pending_(count) {}

void ResultFile::put(std::size_t index, std::string entry) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (index >= pending_.size()) return;
    pending_[index] = std::move(entry);
    for (; next_ < pending_.size() && pending_[next_]; ++next_) {
        std::string& text = *pending_[next_];
        if (!text.empty() && ok_) {
            // A result file whose owner write bit is clear is read-only, as a log is.
            if (!writer_) writer_ = isReadOnly(path_) ? nullptr : std::make_unique<SafeFileWriter>(path_);
            ok_ = writer_ && writer_->ok();
            if (ok_) buffer_ += text;
            if (buffer_.size() >= kBufferBytes) flush();
        }
        text = std::string();  // written: its memory is not needed any more
    }
}

void ResultFile::flush() {
    if (ok_ && writer_ && !buffer_.empty()) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(buffer_.data());
        ok_ = writer_->append(ByteSpan(bytes, buffer_.size()));
    }
    buffer_.clear();
}

bool ResultFile::finish() {
    std::lock_guard<std::mutex> lock(mutex_);
    flush();
    if (ok_ && writer_) ok_ = writer_->commit();
    writer_.reset();
    return ok_;
}

}  // namespace keldro::batch
