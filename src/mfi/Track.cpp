#include "mfi/Track.h"

namespace keldro::mfi {
void Track::clear() { events_.clear(); }

void Track::reserve(std::size_t count) { events_.reserve(count); }

void Track::insertEvent(int index, const Event& event) {
    if (index < 0 || index >= eventCount()) {
        events_.push_back(event);
        return;
    }
    // A full list grows by an eighth, not twice its size: the events are the
    // bulk of a model.
    if (events_.size() == events_.capacity()) events_.reserve(events_.size() + events_.size() / 8 + 1);
    events_.insert(events_.begin() + index, event);
}

void AudioData::clear() {
    audioHeader_.clear();
    audioData_.clear();
}

void AudioData::setAudioHeader(ByteSpan data) {
    if (!data.empty()) audioHeader_.assign(data.begin(), data.end());
}

void AudioData::setAudioData(ByteSpan data) {
    if (!data.empty()) audioData_.assign(data.begin(), data.end());
}

}  // namespace keldro::mfi
