#pragma once
// The rules that change the loudness of an MFi file. Each works on a model:
// it parses the bytes it is given, edits the model and writes it back.
//   - MaxGain rule (MFi 3.0 and later): a relative change goes into the
//     MaxGain as far as its range allows, the rest into the master volumes
//     of track 0; an absolute one sets the MaxGain.
//   - Channel volume rule (MFi 2.0): channel and ADPCM volumes, after a
//     default volume has been put in front of every channel that plays
//     without one.
//   - Effect regulation ("-e"): levels of four effect types follow the
//     change, their effect sends move the opposite way.
#include <array>

#include "mfi/File.h"
#include "mfivolume/VolumeFile.h"
#include "platform/Bytes.h"

namespace keldro::mfi {

struct RuleSettings {
    int relative = 0;
    double db = 0.0;  // positive is louder
    int absolute = 0;
    int maxGainSteps = 24;                // absolute MaxGain, 0 ... 24 half-dB steps of attenuation
    std::array<int, 17> channelValues{};  // absolute values per entry (track * 4 + channel, 16 ADPCM); -1 = not given
    int regulate = 0;
};

// True with the new file in `output`; false when the input cannot be parsed
// or the model not written. With neither relative nor absolute set nothing
// happens and `output` is left as it was. `today` fills a malformed date.
bool applyMaxGainRule(ByteSpan input, ByteVector& output, const RuleSettings& settings, const Date& today);
bool applyChannelVolumeRule(ByteSpan input, ByteVector& output, const RuleSettings& settings, const Date& today);

// The same rules on a parsed model, edited in place; they do nothing without
// a mode (neither relative nor absolute).
void applyMaxGainRule(VolumeFile& model, const RuleSettings& settings);
void applyChannelVolumeRule(VolumeFile& model, const RuleSettings& settings);

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
