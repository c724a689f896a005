#pragma once
// The change report: compares the input model with the converted model,
// describes every volume point of the converted file as a VolumeChangeRecord
// (appended to `changes`) and decides the file's outcome. Records are offered
// to the host's hooks first where the report names one; without a host only
// records that need no hook are kept.
#include "volume/FileKinds.h"
#include "volume/JobHost.h"
#include "volume/VolumeChangeRecord.h"
#include "mfivolume/VolumeFile.h"

namespace keldro::mfi {

// MFi 3.0 and later: Result::Converted, Result::NoMaxGain (no MaxGain, or it
// comes after the first sound or after a master volume) or
// Result::NoMasterVolume (no master volume by the first sound).
Result reportMaxGainChanges(int version, VolumeFile& input, VolumeFile& converted, JobHost* host,
                         VolumeChangeList& changes);

// MFi 2.0: Result::Converted when a record was kept, Result::NotConverted
// when none was.
Result reportChannelVolumeChanges(int version, VolumeFile& input, VolumeFile& converted, JobHost* host,
                                  VolumeChangeList& changes);

// MFi 4.0 with Regulate Chorus: effect levels and effect sends.
void reportEffectChanges(int version, VolumeFile& input, VolumeFile& converted, JobHost* host,
                         VolumeChangeList& changes);

}  // namespace keldro::mfi
