#pragma once
// The content of an MFi file below its header: 1 to 4 tracks and 0 to 32
// audio data items.
#include <vector>

#include "mfi/Track.h"

namespace keldro::mfi {

class Body {
public:
    static constexpr int kMaxTracks = 4;
    static constexpr int kMaxAudioItems = 32;

    int trackCount() const { return static_cast<int>(tracks_.size()); }
    // nullptr when the number is out of range.
    const Track* track(int number) const {
        return number >= 0 && number < trackCount() ? &tracks_[static_cast<std::size_t>(number)] : nullptr;
    }
    Track* track(int number) {
        return number >= 0 && number < trackCount() ? &tracks_[static_cast<std::size_t>(number)] : nullptr;
    }
    // Clears every track, then empties the list.
    void clearTracks();
    // n new empty tracks, n 1 to 4; false (and nothing changed) otherwise.
    bool resizeTracks(int count);

    int audioCount() const { return static_cast<int>(audio_.size()); }
    const AudioData* audio(int index) const;
    AudioData* audio(int index);
    void clearAudio() { audio_.clear(); }
    // n new empty items, n 1 to 32; false (and nothing changed) otherwise.
    bool resizeAudio(int count);

    // nullptr when the track or the index is out of range.
    const Event* event(int index, int number) const {
        const Track* target = track(number);
        return target ? target->eventAt(index) : nullptr;
    }
    Event* event(int index, int number) {
        Track* target = track(number);
        return target ? target->eventAt(index) : nullptr;
    }
    // Inserts a copy into a track (see Track::insertEvent); false for a bad
    // track number.
    bool insertEvent(int track, int index, const Event& event);

private:
    std::vector<Track> tracks_;
    std::vector<AudioData> audio_;
};

}  // namespace keldro::mfi
