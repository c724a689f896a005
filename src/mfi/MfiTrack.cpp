#include "mfi/MfiTrack.h"

#include <cassert>

#include "mfi/MfiError.h"

namespace keldro {
namespace {

bool matches(const MfiEvent& event, EventKind kind, int channel) {
    if (event.classify() != kind) return false;
    if (channel == -1) return true;
    const std::optional<int> own = event.channelOf();
    return own && *own == channel;
}

}  // namespace

void MfiTrack::clear() {
    events_.clear();
    cursor_ = -1;
}

const MfiEvent* MfiTrack::eventAt(int index) const {
    if (index < 0 || index >= eventCount()) return nullptr;
    return &events_[static_cast<std::size_t>(index)];
}

MfiEvent* MfiTrack::eventAt(int index) {
    if (index < 0 || index >= eventCount()) return nullptr;
    return &events_[static_cast<std::size_t>(index)];
}

MfiEvent MfiTrack::copyEventAt(int index) const {
    assert(index >= 0 && index < eventCount());
    return events_[static_cast<std::size_t>(index)];
}

void MfiTrack::insertEvent(int index, const MfiEvent& event) {
    if (index < 0 || index >= eventCount()) {
        events_.push_back(event);
        return;
    }
    events_.insert(events_.begin() + index, event);
}

int MfiTrack::seek(int index) {
    if (index < 0 || index >= eventCount()) return ErrBadArgument;
    cursor_ = index;
    return 0;
}

int MfiTrack::scanUp(EventKind kind, int channel) const {
    if (cursor_ < 0) return -1;
    for (int i = cursor_; i < eventCount(); ++i)
        if (matches(events_[static_cast<std::size_t>(i)], kind, channel)) return i;
    return -1;
}

// The volume engine walks a track as seek(hit + 1), findNext; a cursor left on
// the last event ends such a walk without reporting that event.
int MfiTrack::findNext(EventKind kind, int channel) const {
    if (cursor_ == eventCount() - 1) return -1;
    return scanUp(kind, channel);
}

const MfiEvent* MfiTrack::findNextEvent(EventKind kind, int channel) const { return eventAt(scanUp(kind, channel)); }

MfiEvent* MfiTrack::findNextEvent(EventKind kind, int channel) { return eventAt(scanUp(kind, channel)); }

int MfiTrack::findPrevious(EventKind kind, int channel) const {
    if (cursor_ >= eventCount()) return -1;  // only after the list shrank below the cursor
    for (int i = cursor_; i >= 0; --i)
        if (matches(events_[static_cast<std::size_t>(i)], kind, channel)) return i;
    return -1;
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
