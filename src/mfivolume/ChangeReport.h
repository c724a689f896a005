#pragma once
// The change report: compares the input with the converted model, describes
// every volume point of the converted file as a VolumeChangeRecord (appended
// to `changes`, or only counted there) and decides the file's outcome.
//
// Of the input the report needs only its volume points, which InputVolumes
// takes from the input model before the conversion pass edits that model in
// place: a conversion then holds one model, not the input's and a copy.
#include <cstdint>
#include <vector>

#include "volume/FileKinds.h"
#include "volume/VolumeSettings.h"
#include "volume/VolumeChangeRecord.h"
#include "mfivolume/VolumeFile.h"

namespace keldro::mfi {

// What the reports read from the input model, answering the same searches
// the input model answers.
class InputVolumes {
public:
    // What a report reads: MaxGain and master volumes (reportMaxGainChanges),
    // channel and ADPCM volumes (reportChannelVolumeChanges), effect settings
    // and sends (reportEffectChanges).
    enum Contents : unsigned { kMasterVolumes = 1, kVolumes = 2, kEffects = 4 };
    // What the reports of one file's conversion read for a file of `version`.
    static unsigned contentsFor(int version, const VolumeSettings& settings);

    InputVolumes(VolumeFile& input, unsigned contents);

    std::uint8_t maxGainValue() const { return maxGain_; }
    // The value of the first master volume of track 0 at `tick`, -1 when none.
    int masterVolumeAt(std::int32_t tick) const;

    // A channel volume, or in track 0 an ADPCM volume.
    struct Volume {
        std::int64_t timeMs = 0;
        std::int32_t index = 0;
        EventKind kind = EventKind::Unclassified;
        std::int8_t channel = 0;
        std::int16_t value = 0;  // as volumeOf reads it
    };
    // VolumeFile::nextVolumeEvent of the input: the volume found, null for -1.
    const Volume* nextVolume(int track, int from) const;

    // VolumeFile::readEffectBlocks of the input.
    int readEffectBlocks(int index, std::uint8_t* buffer, int capacity) const;

    struct Send {
        std::int32_t index = 0;
        std::int16_t value = 0;
        std::int16_t code = 0;
    };
    // The input's effect sends of a track from `from` on, as a
    // VolumeFile::KindCursor finds them: the send found, null for -1.
    const Send* nextSend(int track, int from) const;

private:
    struct Track {
        int count = 0;  // events in the track
        std::vector<Volume> volumes;
        std::vector<Send> sends;
    };
    // A block of track 0 longer than 35 bytes: the only events readEffectBlocks reads.
    struct LongBlock {
        std::int32_t index = 0;
        std::int32_t size = 0;
        bool isEffectSettings = false;
        ByteVector blocks;  // effect settings: the bytes after the four leading ones, up to 1024
    };
    // The first entry of `list` at or after `from`, under the search's rule
    // that a start at or past the track's last event finds nothing.
    template <typename Entry>
    static const Entry* firstFrom(const std::vector<Entry>& list, int count, int from);

    std::uint8_t maxGain_ = 0;
    std::vector<std::pair<std::int32_t, std::int16_t>> masterVolumes_;  // by tick, the first of each tick
    std::vector<Track> tracks_;
    std::vector<LongBlock> longBlocks_;
};

// MFi 3.0 and later: Result::Converted, Result::NoMaxGain (no MaxGain, or it
// comes after the first sound or after a master volume) or
// Result::NoMasterVolume (no master volume by the first sound).
Result reportMaxGainChanges(const InputVolumes& input, VolumeFile& converted, const VolumeSettings& settings,
                            ChangeSink changes);

// MFi 2.0: Result::Converted when a record was kept, Result::NotConverted
// when none was (or for another version). In absolute mode only the channels
// given a value are reported.
Result reportChannelVolumeChanges(int version, const InputVolumes& input, VolumeFile& converted,
                                  const VolumeSettings& settings, ChangeSink changes);

// MFi 4.0 with Regulate Chorus: effect levels and effect sends; nothing for
// another version.
void reportEffectChanges(int version, const InputVolumes& input, VolumeFile& converted, const VolumeSettings& settings,
                         ChangeSink changes);

}  // namespace keldro::mfi
