#pragma once
// The volume engine's view of an MFi file: the model of the reader plus the
// analysis results (the file's MaxGain and its master volume events), and the
// vocabulary the rules and the change report are written in: where each
// volume value sits in an event, the searches that find volume, sounding and
// effect events, event times in milliseconds, and the edits.
//
// Searches "from i" behave like a seek to i followed by a forward search of
// the track: an index outside the track finds nothing, and a search that
// starts on the last event of a track never reports it. Walks resume at the
// previous hit + 1, so an event right after the previous hit that is also the
// track's last event is never reached. The rules depend on that behaviour.
//
// Searches run on per-track indexes (kind of every event, positions per kind,
// cumulative times) built on first use. Every edit made through this class
// that can change a kind or an index drops them; edits must not bypass it.
#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "mfi/MfiFile.h"
#include "volume/FileKinds.h"
#include "volume/VolumeTables.h"

namespace keldro {

struct MasterVolumeEntry {
    int index;          // event index in track 0
    std::int32_t time;  // its time in ticks
};

class MfiVolumeFile : public MfiFile {
public:
    static constexpr int kMaxGainSteps = kMaxGainMostSteps;  // 0 ... 24 half-dB steps of attenuation
    static constexpr int kMaxVolume = 63;  // channel and ADPCM volumes run 0 ... 63
    // A channel plays at full volume until its first volume event; the
    // default volume put in front of its first note says so.
    static constexpr int kAssumedVolume = kMaxVolume;

    // Read, then analyse; a read failure is returned unchanged.
    int parse(ByteSpan bytes);
    // Checks what a volume conversion needs and records the MaxGain: 0,
    // ErrFormat (no track), ErrNoMaxGain or ErrNoMasterVolume.
    int analyse();

    std::uint8_t maxGainValue() const { return maxGainValue_; }
    const std::vector<MasterVolumeEntry>& masterVolumeList() const { return masterVolumes_; }
    bool isVersion20() const { return infoRecord().versIs(mfiVersText(kMfiVersion20)); }

    // --- Queries: -1 (or 0 for times) when nothing fits. ---
    int nextMasterVolume(int from);
    int masterVolumeAt(int index) const;
    int lastMaxGainIndex();
    int maxGainTickAt(int index) const;
    int nextChannelVolumeOf(int track, int from, int channel);
    int firstNoteOf(int track, int from, int channel);
    int nextVolumeEvent(int track, int from);
    int channelVolumeAt(int track, int index) const;
    int adpcmVolumeAt(int index) const;
    int nextAdpcmNote(int from);
    int nextAdpcmVolume(int from);
    int firstSounding(int track, int from);
    int soundingTick(int track, int index) const;
    int nextSoundingAfterTick(int track, int channel, bool aFlag, std::int32_t tick);
    int eventChannel(int track, int index) const;
    int eventKindAt(int track, int index) const;
    int firstEffectSettings();
    int readEffectBlocks(int index, std::uint8_t* buffer, int capacity) const;
    int nextEffectSelect(int from, int group);
    int effectSelectorAt(int index) const;
    int effectSelectTick(int index) const;
    int nextEffectSend(int track, int from);
    int nextEffectSendOf(int track, int from, int channel, bool aFlag);
    int effectSendTick(int track, int index) const;
    int effectSendCode(int track, int index) const;
    int effectSendValue(int track, int index) const;
    int nextTempo(int from);
    std::int64_t eventTimeMs(int track, int index);

    // --- Edits: 1 when the model changed, 0 otherwise. ---
    int setMaxGain(int value);
    int setMasterVolume(int index, int value);
    int setChannelVolume(int track, int index, int value);
    int setAdpcmVolume(int index, int value);
    int writeEffectBlocks(int index, const std::uint8_t* bytes, int count);
    int setEffectSendValue(int track, int index, int value);
    int insertDefaultVolume(int track, int noteIndex, int channel);
    int insertEffectSend(int track, int index, int channel, bool aFlag, int value);

    // An effect send event: a five-byte 0xF1 block whose fourth byte holds the
    // channel (top two bits) and the plain/A flag (0x20) in front of the send
    // id, and whose fifth byte is the send value.
    static MfiEvent makeEffectSend(std::int32_t time, int channel, bool aFlag, int value);
    // The code effectSendCode reports for a channel and flag: 0 ... 3 plain, 16 ... 19 A.
    static int effectSendCodeOf(int channel, bool aFlag) { return (aFlag ? 16 : 0) + channel; }

    // Replaces a track's events in one go (the batched form of many inserts).
    void replaceTrackEvents(int track, std::vector<MfiEvent> events);

    // The forward search every query is built on: hits of `kind` from `from`
    // on, under the seek and last-position rules above; the first hit that
    // `accept(index)` takes, or -1.
    template <typename Accept>
    int findFrom(EventKind kind, int track, int from, Accept accept);
    int findFrom(EventKind kind, int track, int from) {
        return findFrom(kind, track, from, [](int) { return true; });
    }
    // Positions of all events of a kind in a track, in order.
    const std::vector<int>& positionsOf(int track, EventKind kind);
    const MfiEvent* eventAt(int track, int index) const { return body().event(index, track); }
    int eventCount(int track) const;

private:
    struct SoundingList {
        std::vector<int> index;
        std::vector<std::int32_t> maxTimeSoFar;  // prefix maximum of the hits' times
        bool lastExcluded = false;               // the track's last event cannot be reached
    };
    struct TrackIndex {
        bool built = false;
        int count = 0;
        std::vector<std::uint8_t> kinds;
        std::array<std::vector<int>, KindUnclassified + 1> positions;
        bool soundingBuilt = false;
        std::array<std::array<SoundingList, 4>, 4> sounding;  // [note, 40, 46, 52][channel]
    };

    TrackIndex& indexOf(int track);
    const SoundingList& soundingList(int track, int group, int channel);
    void buildSounding(int track, TrackIndex& index);
    const std::vector<double>& cumulativeMs(int track);
    void buildCumulativeMs(int track, std::vector<double>& out);
    void invalidateIndexes();

    std::uint8_t maxGainValue_ = kMaxGainSteps;
    std::vector<MasterVolumeEntry> masterVolumes_;
    std::array<TrackIndex, MfiBody::kMaxTracks> indexes_;
    std::array<std::vector<double>, MfiBody::kMaxTracks> cumulativeMs_;
    std::array<bool, MfiBody::kMaxTracks> cumulativeBuilt_{};
};

template <typename Accept>
int MfiVolumeFile::findFrom(EventKind kind, int track, int from, Accept accept) {
    if (body().seek(track, from) != 0) return -1;
    const int count = eventCount(track);
    if (from == count - 1) return -1;
    const std::vector<int>& hits = positionsOf(track, kind);
    auto it = std::lower_bound(hits.begin(), hits.end(), from);
    for (; it != hits.end(); ++it) {
        const int hit = *it;
        if (accept(hit)) return hit;
        // The walk goes on at hit + 1: past the end the seek fails, and on the
        // last event the last-position rule stops it.
        if (hit + 1 >= count - 1) return -1;
    }
    return -1;
}

// Parse as the engine does everywhere: read, then analyse.
int parseMfiVolumeFile(MfiVolumeFile& file, ByteSpan bytes);

}  // namespace keldro
