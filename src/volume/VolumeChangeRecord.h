#pragma once
// One volume change made by an engine, as printed in the result log.
#include <cstdint>
#include <vector>

namespace keldro {

// Odd values are relative changes, even values absolute ones; anything outside
// 1 ... 12 means "no change" and is never printed.
enum ActionCode : std::uint8_t {
    kActionNone = 0,
    kActionVolumeRelative = 1,
    kActionVolumeAbsolute = 2,
    kActionInsertedVolumeRelative = 3,
    kActionInsertedVolumeAbsolute = 4,
    kActionMaxGainRelative = 5,
    kActionMaxGainAbsolute = 6,
    kActionEffectDepthRelative = 7,
    kActionEffectDepthAbsolute = 8,
    kActionChorusSendRelative = 9,
    kActionChorusSendAbsolute = 10,
    kActionChorusBeforeNoteRelative = 11,
    kActionChorusBeforeNoteAbsolute = 12,
};

// 24 bytes: a VQ-7 file with chorus regulation may hold a record for every
// few bytes of input, so the fields take the least room their values need.
struct VolumeChangeRecord {
    std::uint8_t track = 0;    // TAVI: 1..7 score track, 255 audio; MFi: 0..3, 255 ADPCM
    std::uint8_t channel = 0;  // channel within the track, from 0
    std::uint8_t beforeVolume = 0;
    std::uint8_t afterVolume = 0;
    std::uint8_t beforeGain = 0;
    std::uint8_t afterGain = 0;
    std::uint8_t beforeLevel = 0;
    std::uint8_t afterLevel = 0;
    std::uint8_t action = kActionNone;  // an ActionCode
    std::uint8_t timebase = 0;          // TAVI: milliseconds per tick (1 ... 50)
    std::uint8_t gateTimebase = 0;      // TAVI: gate timebase in milliseconds (1 ... 50)
    std::uint64_t position = 0;         // TAVI: ticks from sequence start; MFi: milliseconds
};
static_assert(sizeof(VolumeChangeRecord) == 24);

using VolumeChangeList = std::vector<VolumeChangeRecord>;

// Appends a record to a list whose final length is not known in advance. A
// file with a change at nearly every event makes hundreds of thousands of
// records; a list that doubles holds up to twice what it needs, plus the old
// block while it moves. Growing by a quarter keeps the peak near 2.25 times
// the records for the price of a few more moves, still linear in all.
inline void appendChange(VolumeChangeList& list, const VolumeChangeRecord& record) {
    if (list.size() == list.capacity()) list.reserve(list.size() + list.size() / 4 + 64);
    list.push_back(record);
}

// Where an engine puts its changes: a list that keeps them, or only a count
// where nothing asks for the records (no result log). A file with a change
// at nearly every event would otherwise hold a record of 24 bytes for every
// few bytes of input that nobody reads.
class ChangeSink {
public:
    // Keeps every record in `kept` (appended; what it holds stays).
    ChangeSink(VolumeChangeList& kept) : kept_(&kept) {}  // NOLINT(google-explicit-constructor)
    // Counts the records only.
    static ChangeSink counting() { return ChangeSink(); }

    void add(const VolumeChangeRecord& record) {
        if (kept_)
            appendChange(*kept_, record);
        else
            ++counted_;
    }
    // Room for up to `more` records to come, where a walk knows their number
    // before it starts: the list is then made once, without the moves and the
    // spare room of growing (counting needs no room).
    void reserve(std::size_t more) {
        if (kept_) kept_->reserve(kept_->size() + more);
    }
    // Records added so far, and those `kept` held before.
    std::size_t count() const { return kept_ ? kept_->size() : counted_; }

private:
    ChangeSink() = default;
    VolumeChangeList* kept_ = nullptr;
    std::size_t counted_ = 0;
};

}  // namespace keldro
