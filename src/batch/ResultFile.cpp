#include "batch/ResultFile.h"

namespace keldro::batch {
namespace {

constexpr std::size_t kBufferBytes = 64 * 1024;

}  // namespace

ResultFile::ResultFile(std::string path) : path_(std::move(path)) {}

void ResultFile::append(const std::string& entry) {
    if (entry.empty() || !ok_) return;
    // A result file whose owner write bit is clear is read-only, as a log is.
    // A symbolic link put at its name meanwhile is never written through.
    if (!writer_) {
        const WriteTarget target(path_, AtLink::Refuse);
        const bool readOnly = target.existing() && target.existing()->isReadOnly;
        writer_ = readOnly ? nullptr : std::make_unique<SafeFileWriter>(target);
    }
    ok_ = writer_ && writer_->ok();
    if (ok_) buffer_ += entry;
    if (buffer_.size() >= kBufferBytes) flush();
}

void ResultFile::flush() {
    if (ok_ && writer_ && !buffer_.empty()) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(buffer_.data());
        ok_ = writer_->append(ByteSpan(bytes, buffer_.size()));
    }
    buffer_.clear();
}

bool ResultFile::finish() {
    flush();
    if (ok_ && writer_) ok_ = writer_->commit();
    writer_.reset();
    return ok_;
}

}  // namespace keldro::batch
