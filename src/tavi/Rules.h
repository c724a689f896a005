#pragma once
// The arithmetic that turns a volume found in a TAVI file into the converted
// one: pure functions of the run's settings, the file's levels and the record.
// Each rule reads the record's own kind (its `track` field: score track
// number 1..7, or 255 for the audio track) and before-values, fills the
// after-value, sets the action code on a yes (true) and leaves it 0 on a no (false).
#include <cstdint>

#include "volume/VolumeChangeRecord.h"
#include "volume/VolumeSettings.h"

namespace keldro::tavi {

// A score-track channel or the audio track plays at volume 99 until its first
// volume event; a volume event put in front of its first note starts from it.
inline constexpr int kAssumedChannelVolume = 99;

// TAVI VQ-7: the levels of the file being converted that its MaxGain and
// master volume rules start from. The engine reads the first two from the
// score track before it converts anything and hands all of them to every rule
// it asks; the MaxGain rule puts the MaxGain it chose for the file into
// `chosenMaxGain`, which the master volume rules of that file then work with.
struct Vq7FileLevels {
    std::int32_t loudestMasterVolume = -1;  // highest master volume below 128, -1 none
    std::int32_t largestMaxGain = -1;       // largest MaxGain not above 24 (attenuation steps), -1 none
    std::int32_t maxGainInForce = -1;       // MaxGain of the last MaxGain event met, before it largestMaxGain
    std::int32_t chosenMaxGain = -1;        // steps the MaxGain rule chose for the file, -1 not yet
};

bool volumeRule(const VolumeSettings& settings, const Vq7FileLevels& file, VolumeChangeRecord& record);
bool insertedVolumeRule(const VolumeSettings& settings, const Vq7FileLevels& file, VolumeChangeRecord& record);
// The one rule that also answers in `file`: the MaxGain it chose (relative changes only).
bool maxGainRule(const VolumeSettings& settings, Vq7FileLevels& file, VolumeChangeRecord& record);
bool effectDepthRule(const VolumeSettings& settings, const Vq7FileLevels& file, VolumeChangeRecord& record);
bool chorusSendRule(const VolumeSettings& settings, const Vq7FileLevels& file, VolumeChangeRecord& record);
bool chorusSendBeforeNoteRule(const VolumeSettings& settings, const Vq7FileLevels& file, VolumeChangeRecord& record,
                              int effectType);

}  // namespace keldro::tavi
