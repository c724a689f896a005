#pragma once
// An MFi track: its events in file order and a cursor that the searches start
// from. Tracks are numbered 0 to 3.
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "mfi/MfiEvent.h"

namespace keldro {

class MfiTrack {
public:
    // Empties the event list and unsets the cursor.
    void clear();

    int eventCount() const { return static_cast<int>(events_.size()); }
    // nullptr when the index is out of range.
    const MfiEvent* eventAt(int index) const;
    MfiEvent* eventAt(int index);
    // A copy of the event at a valid index (an index out of range is a caller error).
    MfiEvent copyEventAt(int index) const;
    const std::vector<MfiEvent>& events() const { return events_; }

    void appendEvent(const MfiEvent& event) { events_.push_back(event); }
    void appendEvent(MfiEvent&& event) { events_.push_back(std::move(event)); }
    // Inserts a copy before the event at `index`; appends when index < 0 or
    // index >= eventCount(). The cursor is left as it is.
    void insertEvent(int index, const MfiEvent& event);
    void reserve(std::size_t count) { events_.reserve(count); }

    // 0, or ErrBadArgument (cursor unchanged) when the index is not an event.
    int seek(int index);
    // Index of the current event, -1 when unset.
    int cursor() const { return cursor_; }

    // Searches for an event of `kind` (and of `channel` unless it is -1):
    // findNext scans up from the cursor but never reports the last event when
    // the cursor already stands on it; findNextEvent has no such rule;
    // findPrevious scans down from the cursor. -1 / nullptr when none matches.
    int findNext(EventKind kind, int channel) const;
    const MfiEvent* findNextEvent(EventKind kind, int channel) const;
    MfiEvent* findNextEvent(EventKind kind, int channel);
    int findPrevious(EventKind kind, int channel) const;

private:
    int scanUp(EventKind kind, int channel) const;

    std::vector<MfiEvent> events_;
    int cursor_ = -1;
};

// One "adat" item: the audio header and the audio data that follows it.
class MfiAudioData {
public:
    void clear();
    // Replace a part; a null range or length 0 gives ErrBadArgument and leaves it unchanged.
    int setAudioHeader(const std::uint8_t* data, std::int64_t count);
    int setAudioHeader(ByteSpan data);
    int setAudioData(const std::uint8_t* data, std::int64_t count);
    int setAudioData(ByteSpan data);
    std::size_t audioHeaderSize() const { return audioHeader_.size(); }
    std::size_t audioDataSize() const { return audioData_.size(); }
    const ByteVector& audioHeader() const { return audioHeader_; }
    const ByteVector& audioData() const { return audioData_; }

private:
    ByteVector audioHeader_;
    ByteVector audioData_;
};

}  // namespace keldro
