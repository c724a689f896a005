#pragma once
// The arithmetic that turns a volume found in a TAVI file into the converted
// one. The TAVI controller answers its JobHost rule operations with these.
// Each rule reads the record's own kind (its `track` field: score track
// number 1..7, or 255 for the audio track) and before-values, fills the
// after-value, sets the action code on a yes (true) and leaves it 0 on a no (false).
// The VQ-7 rules also read the file's levels from the record's `vq7` field;
// the MaxGain rule puts the MaxGain it chose for the file there.
#include "volume/VolumeChangeRecord.h"
#include "volume/VolumeSettings.h"

namespace keldro::tavi {

// A score-track channel or the audio track plays at volume 99 until its first
// volume event; a volume event put in front of its first note starts from it.
inline constexpr int kAssumedChannelVolume = 99;

bool volumeRule(const VolumeSettings& settings, int generation, VolumeChangeRecord& record);
bool insertedVolumeRule(const VolumeSettings& settings, int generation, VolumeChangeRecord& record);
bool maxGainRule(const VolumeSettings& settings, int generation, VolumeChangeRecord& record);
bool effectDepthRule(const VolumeSettings& settings, int generation, VolumeChangeRecord& record);
bool chorusSendRule(const VolumeSettings& settings, int generation, VolumeChangeRecord& record);
bool chorusSendBeforeNoteRule(const VolumeSettings& settings, int generation, VolumeChangeRecord& record,
                              int effectType);

}  // namespace keldro::tavi
