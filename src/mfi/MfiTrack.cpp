#include "mfi/MfiTrack.h"

#include "mfi/MfiError.h"

namespace keldro {
void MfiTrack::clear() {
    events_.clear();
}

const MfiEvent* MfiTrack::eventAt(int index) const {
    if (index < 0 || index >= eventCount()) return nullptr;
    return &events_[static_cast<std::size_t>(index)];
}

MfiEvent* MfiTrack::eventAt(int index) {
    if (index < 0 || index >= eventCount()) return nullptr;
    return &events_[static_cast<std::size_t>(index)];
}

void MfiTrack::insertEvent(int index, const MfiEvent& event) {
    if (index < 0 || index >= eventCount()) {
        events_.push_back(event);
        return;
    }
    events_.insert(events_.begin() + index, event);
}

void MfiAudioData::clear() {
    audioHeader_.clear();
    audioData_.clear();
}

int MfiAudioData::setAudioHeader(const std::uint8_t* data, std::int64_t count) {
    if (data == nullptr || count <= 0) return ErrBadArgument;
    audioHeader_.assign(data, data + count);
    return 0;
}

int MfiAudioData::setAudioHeader(ByteSpan data) {
    return setAudioHeader(data.data(), static_cast<std::int64_t>(data.size()));
}

int MfiAudioData::setAudioData(const std::uint8_t* data, std::int64_t count) {
    if (data == nullptr || count <= 0) return ErrBadArgument;
    audioData_.assign(data, data + count);
    return 0;
}

int MfiAudioData::setAudioData(ByteSpan data) {
    return setAudioData(data.data(), static_cast<std::int64_t>(data.size()));
}

}  // namespace keldro
