#pragma once
// An MFi track: its events in file order. Tracks are numbered 0 to 3.
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "mfi/Event.h"

namespace keldro::mfi {

class Track {
public:
    // Room a read track keeps beyond its events for the few an editor puts
    // in (a default volume per channel and one for ADPCM), so that they go
    // in without moving the track to new storage: the old and the new list
    // of a long track would be held at once.
    static constexpr std::size_t kRoomForInserts = 8;

    Track() = default;
    Track(const Track&) = default;
    Track& operator=(const Track&) = default;
    Track(Track&&) noexcept = default;
    Track& operator=(Track&&) noexcept = default;

    // Empties the event list (its storage stays).
    void clear();

    int eventCount() const { return static_cast<int>(events_.size()); }
    // nullptr when the index is out of range.
    const Event* eventAt(int index) const {
        return index >= 0 && index < eventCount() ? &events_[static_cast<std::size_t>(index)] : nullptr;
    }
    Event* eventAt(int index) {
        return index >= 0 && index < eventCount() ? &events_[static_cast<std::size_t>(index)] : nullptr;
    }
    const std::vector<Event>& events() const { return events_; }

    void appendEvent(const Event& event) { events_.push_back(event); }
    void appendEvent(Event&& event) { events_.push_back(std::move(event)); }
    // Inserts a copy before the event at `index`; appends when index < 0 or
    // index >= eventCount().
    void insertEvent(int index, const Event& event);
    // Room for `count` events.
    void reserve(std::size_t count);
    // Hands the events over, leaving the track empty, and takes a whole new
    // list: an editor that rebuilds a track moves events instead of copying them.
    std::vector<Event> takeEvents() { return std::exchange(events_, {}); }
    void replaceEvents(std::vector<Event> events) { events_ = std::move(events); }

private:
    std::vector<Event> events_;
};

// One "adat" item: the audio header and the audio data that follows it.
class AudioData {
public:
    void clear();
    // Replace a part; an empty range leaves it unchanged.
    void setAudioHeader(ByteSpan data);
    void setAudioData(ByteSpan data);
    std::size_t audioHeaderSize() const { return audioHeader_.size(); }
    std::size_t audioDataSize() const { return audioData_.size(); }
    const ByteVector& audioHeader() const { return audioHeader_; }
    const ByteVector& audioData() const { return audioData_; }

private:
    ByteVector audioHeader_;
    ByteVector audioData_;
};

}  // namespace keldro::mfi
