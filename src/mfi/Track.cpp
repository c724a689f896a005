#include "mfi/Track.h"

#include "mfi/Error.h"

namespace keldro::mfi {
void Track::clear() {
    events_.clear();
}

const Event* Track::eventAt(int index) const {
    if (index < 0 || index >= eventCount()) return nullptr;
    return &events_[static_cast<std::size_t>(index)];
}

Event* Track::eventAt(int index) {
    if (index < 0 || index >= eventCount()) return nullptr;
    return &events_[static_cast<std::size_t>(index)];
}

void Track::insertEvent(int index, const Event& event) {
    if (index < 0 || index >= eventCount()) {
        events_.push_back(event);
        return;
    }
    events_.insert(events_.begin() + index, event);
}

void AudioData::clear() {
    audioHeader_.clear();
    audioData_.clear();
}

int AudioData::setAudioHeader(const std::uint8_t* data, std::int64_t count) {
    if (data == nullptr || count <= 0) return ErrBadArgument;
    audioHeader_.assign(data, data + count);
    return 0;
}

int AudioData::setAudioHeader(ByteSpan data) {
    return setAudioHeader(data.data(), static_cast<std::int64_t>(data.size()));
}

int AudioData::setAudioData(const std::uint8_t* data, std::int64_t count) {
    if (data == nullptr || count <= 0) return ErrBadArgument;
    audioData_.assign(data, data + count);
    return 0;
}

int AudioData::setAudioData(ByteSpan data) {
    return setAudioData(data.data(), static_cast<std::int64_t>(data.size()));
}

}  // namespace keldro::mfi
