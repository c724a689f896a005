#include "mfi/MfiBody.h"

#include "mfi/MfiError.h"

namespace keldro {

const MfiTrack* MfiBody::track(int number) const {
    if (number < 0 || number >= trackCount()) return nullptr;
    return &tracks_[static_cast<std::size_t>(number)];
}

MfiTrack* MfiBody::track(int number) {
    if (number < 0 || number >= trackCount()) return nullptr;
    return &tracks_[static_cast<std::size_t>(number)];
}

void MfiBody::clearTracks() {
    for (MfiTrack& each : tracks_) each.clear();
    tracks_.clear();
}

int MfiBody::resizeTracks(int count) {
    if (count < 1 || count > kMaxTracks) return ErrTrackCount;
    clearTracks();
    tracks_.resize(static_cast<std::size_t>(count));
    return 0;
}

const MfiAudioData* MfiBody::audio(int index) const {
    if (index < 0 || index >= audioCount()) return nullptr;
    return &audio_[static_cast<std::size_t>(index)];
}

MfiAudioData* MfiBody::audio(int index) {
    if (index < 0 || index >= audioCount()) return nullptr;
    return &audio_[static_cast<std::size_t>(index)];
}

int MfiBody::resizeAudio(int count) {
    if (count < 1 || count > kMaxAudioItems) return ErrAudioCount;
    audio_.clear();
    audio_.resize(static_cast<std::size_t>(count));
    return 0;
}

const MfiEvent* MfiBody::event(int index, int number) const {
    const MfiTrack* target = track(number);
    return target ? target->eventAt(index) : nullptr;
}

MfiEvent* MfiBody::event(int index, int number) {
    MfiTrack* target = track(number);
    return target ? target->eventAt(index) : nullptr;
}

int MfiBody::insertEvent(int number, int index, const MfiEvent& event) {
    MfiTrack* target = track(number);
    if (!target) return ErrBadArgument;
    target->insertEvent(index, event);
    return 0;
}

}  // namespace keldro
