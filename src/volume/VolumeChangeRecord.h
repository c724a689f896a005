#pragma once
// One volume change made by an engine, as printed in the result log.
#include <cstdint>
#include <vector>

namespace keldro {

// Odd values are relative changes, even values absolute ones; anything outside
// 1 ... 12 means "no change" and is never printed.
enum ActionCode : std::int32_t {
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

struct VolumeChangeRecord {
    std::uint8_t track = 0;    // TAVI: 1..7 score track, 255 audio; MFi: 0..3, 255 ADPCM
    std::uint8_t channel = 0;  // channel within the track, from 0
    std::uint8_t beforeVolume = 0;
    std::uint8_t afterVolume = 0;
    std::uint8_t beforeGain = 0;
    std::uint8_t afterGain = 0;
    std::uint8_t beforeLevel = 0;
    std::uint8_t afterLevel = 0;
    std::int32_t action = kActionNone;
    std::uint64_t position = 0;     // TAVI: ticks from sequence start; MFi: milliseconds
    std::int32_t timebase = 0;      // TAVI: milliseconds per tick (low 8 bits used by the log)
    std::int32_t gateTimebase = 0;  // TAVI: gate timebase in milliseconds
};

using VolumeChangeList = std::vector<VolumeChangeRecord>;

}  // namespace keldro
