#include "mfi/Body.h"

namespace keldro::mfi {

void Body::clearTracks() {
    for (Track& each : tracks_) each.clear();
    tracks_.clear();
}

bool Body::resizeTracks(int count) {
    if (count < 1 || count > kMaxTracks) return false;
    clearTracks();
    tracks_.resize(static_cast<std::size_t>(count));
    return true;
}

const AudioData* Body::audio(int index) const {
    if (index < 0 || index >= audioCount()) return nullptr;
    return &audio_[static_cast<std::size_t>(index)];
}

AudioData* Body::audio(int index) {
    if (index < 0 || index >= audioCount()) return nullptr;
    return &audio_[static_cast<std::size_t>(index)];
}

bool Body::resizeAudio(int count) {
    if (count < 1 || count > kMaxAudioItems) return false;
    audio_.clear();
    audio_.resize(static_cast<std::size_t>(count));
    return true;
}

bool Body::insertEvent(int number, int index, const Event& event) {
    Track* target = track(number);
    if (!target) return false;
    target->insertEvent(index, event);
    return true;
}

}  // namespace keldro::mfi
