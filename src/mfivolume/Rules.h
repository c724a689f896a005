#pragma once
// The rules that change the loudness of an MFi file, each on a parsed model
// edited in place, with the run's settings:
//   - MaxGain rule (MFi 3.0 and later): a relative change goes into the
//     MaxGain as far as its range allows, the rest into the master volumes
//     of track 0; an absolute one sets the MaxGain.
//   - Channel volume rule (MFi 2.0): channel and ADPCM volumes, after a
//     default volume has been put in front of every channel that plays
//     without one.
//   - Effect regulation ("-e"): levels of four effect types follow the
//     change, their effect sends move the opposite way.
#include "mfivolume/VolumeFile.h"
#include "volume/VolumeSettings.h"

namespace keldro::mfi {

// Channel values are looked up by entry track * 4 + channel (16 for ADPCM).
void applyMaxGainRule(VolumeFile& model, const VolumeSettings& settings);
void applyChannelVolumeRule(VolumeFile& model, const VolumeSettings& settings);

// A channel or ADPCM volume (0 ... 63) moved by `db` decibels.
int relativeMfiChannelVolume(int volume, double db);

// How the effect regulation places its copies of the send in force. Both give
// the same model; OneByOne edits the model at every copy (each later search
// sees the earlier copies), Batched plans all copies on the unedited tracks
// and inserts them in one pass per track. Batched falls back to OneByOne for a
// track whose times go backwards, which no read model has.
enum class SendCopyPlanning { Batched, OneByOne };

// Scales the regulated effect levels and their sends of a parsed model by a
// change of `db` decibels; effect settings with fewer than 32 bytes of blocks
// are left alone.
void regulateEffects(VolumeFile& model, double db, SendCopyPlanning planning = SendCopyPlanning::Batched);

}  // namespace keldro::mfi
