#pragma once
// The volume engine's view of an MFi file: the model of the reader plus the
// analysis results (the file's MaxGain and its master volume events), and the
// vocabulary the rules and the change report are written in: the searches
// that find volume, sounding and effect events, event times in milliseconds,
// and the edits. What an event means and carries is the event's own business
// (Event).
//
// Searches "from i" look at events i onward: an index outside the track finds
// nothing, and a search that starts on the last event of a track never
// reports it. Walks resume at the
// previous hit + 1, so an event right after the previous hit that is also the
// track's last event is never reached. The rules depend on that behaviour.
//
// Searches run on per-track indexes (kind of every event, positions per kind)
// built on first use, and times on a walk over the track kept between
// questions. Every edit made through this class
// that can change a kind or an index drops them; edits must not bypass it.
#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <span>
#include <vector>

#include "mfi/File.h"
#include "mfivolume/TempoClock.h"
#include "volume/FileKinds.h"
#include "volume/VolumeTables.h"

namespace keldro::mfi {

class VolumeFile : public File {
public:
    static constexpr int kMaxGainSteps = kMaxGainMostSteps;  // 0 ... 24 half-dB steps of attenuation
    static constexpr int kMaxVolume = 63;                    // channel and ADPCM volumes run 0 ... 63
    // A channel plays at full volume until its first volume event; the
    // default volume put in front of its first note says so.
    static constexpr int kAssumedVolume = kMaxVolume;

    // Read, then analyse; a read failure is returned unchanged.
    Result parse(ByteSpan bytes);
    // Checks what a volume conversion needs and records the MaxGain:
    // Result::Converted, Result::NoMfiFile (no track), Result::MfiNoMaxGain
    // or Result::MfiNoMasterVolume.
    Result analyse();
    // The analysis a fresh read of the model's bytes would make, for a model
    // edited only through this class since it was read: its indexes are
    // still right and are kept.
    Result analyseAgain();
    // Frees the long lists of positions the searches so far have made; the
    // kinds of events stay. For a step that is done with its searches: a
    // list of a track's notes takes four bytes per note, and the next step
    // makes only the lists it asks for.
    void dropSearchLists();

    std::uint8_t maxGainValue() const { return maxGainValue_; }
    bool isVersion20() const { return infoRecord().versIs(mfiVersText(kMfiVersion20)); }

    // --- Searches: the index of the event found, -1 when nothing fits. ---
    // What an event found carries is read from the event itself (eventAt).
    int nextMasterVolume(int from);
    int lastMaxGainIndex();
    int nextChannelVolumeOf(int track, int from, int channel);
    int firstNoteOf(int track, int from, int channel);
    // The next channel volume, or in track 0 also ADPCM volume, event.
    int nextVolumeEvent(int track, int from);
    int nextAdpcmNote(int from);
    int nextAdpcmVolume(int from);
    // The first event of any channel that starts a sound (a note, an "A"
    // channel's escape event, or a sounding block of class 0xF1).
    int firstSounding(int track, int from);
    // The first sounding event of a channel (of its "A" channel when onAChannel)
    // whose time is after `tick`.
    int nextSoundingAfterTick(int track, int channel, bool onAChannel, std::int32_t tick);
    int firstEffectSettings();
    // Group 1: selectors below 32; group 2: selectors 64 ... 95.
    int nextEffectSelect(int from, int group);
    int nextEffectSend(int track, int from);
    int nextEffectSendOf(int track, int from, int channel, bool onAChannel);
    int nextTempo(int from);

    // Event i of track 0: no event, or a block of 35 bytes or fewer, -1; a
    // block of another kind than effect settings, its size with nothing
    // copied; else copies up to `capacity` bytes of its effect blocks and
    // returns that count.
    int readEffectBlocks(int index, std::uint8_t* buffer, int capacity) const;
    // Time of an event in milliseconds, through the tempo map of track 0; 0
    // for no track or a negative index, the last event's beyond the end.
    std::int64_t eventTimeMs(int track, int index);

    // --- Edits: 1 when the model changed, 0 otherwise. ---
    // The value edits change bytes inside an event's parameters or data
    // block, never its shape or its time, so whether an event reads back as
    // it is written (File::eventRereadsAsWritten) stays as it was. The
    // inserts are watched: insertsKeptShape() says whether every event
    // inserted since watchInserts(), and the event after it, reads back as
    // written where it stands.
    void watchInserts() { insertsKeptShape_ = true; }
    bool insertsKeptShape() const { return insertsKeptShape_; }
    int setMaxGain(int value);
    int setMasterVolume(int index, int value);
    int setChannelVolume(int track, int index, int value);
    int setAdpcmVolume(int index, int value);
    int writeEffectBlocks(int index, const std::uint8_t* bytes, int count);
    int setEffectSendValue(int track, int index, int value);
    int insertDefaultVolume(int track, int noteIndex, int channel);
    // The default volumes of several channels of a track at once, in the
    // order given: where inserting them one by one would put them, since each
    // lands right after the one before, at the end of the track's set-up.
    // The number inserted.
    int insertDefaultVolumes(int track, std::span<const int> channels);
    int insertEffectSend(int track, int index, int channel, bool onAChannel, int value);

    // Many inserts in one go: inserted[k] goes right before the event at
    // before[k] of the track as it stands (before[k] never goes down; events
    // put before the same one keep their order). The track's kinds are
    // carried over instead of worked out again.
    void insertEvents(int track, std::span<const int> before, std::vector<Event> inserted);

    // The forward search every query is built on: hits of `kind` from `from`
    // on, under the rules above; the first hit that
    // `accept(index)` takes, or -1.
    template <typename Accept>
    int findFrom(EventKind kind, int track, int from, Accept accept);
    int findFrom(EventKind kind, int track, int from) {
        return findFrom(kind, track, from, [](int) { return true; });
    }
    // findFrom(kind, track, from) without a condition, for `from` values
    // that never go down: the positions are walked instead of searched each
    // time (a `from` below the last one searches afresh). Valid while the
    // track's index stands: edits that keep every event's kind keep it.
    class KindCursor {
    public:
        int next(int from);

    private:
        friend class VolumeFile;
        KindCursor(std::span<const int> hits, const Event* events, int count)
            : hits_(hits), events_(events), count_(count) {}
        std::span<const int> hits_;
        const Event* events_;  // the track's, to fetch the hits ahead of the walk
        int count_;
        std::size_t at_ = 0;
    };
    KindCursor cursor(EventKind kind, int track) {
        const std::span<const int> hits = positionsOf(track, kind);
        return KindCursor(hits, hits.empty() ? nullptr : eventAt(track, 0), eventCount(track));
    }

private:
    // The sounding events of one kind on one channel, in track order.
    struct SoundingList {
        std::span<const int> index;
        std::span<const std::int32_t> time;
        std::span<const std::int32_t> maxTimeSoFar;  // prefix maximum of the hits' times
        bool lastExcluded = false;                   // the track's last event cannot be reached
    };

public:
    // nextSoundingAfterTick of one channel for ticks that never go down, each
    // sounding list walked once (a tick below the last one searches afresh).
    // Valid while the track's index stands.
    class SoundingCursor {
    public:
        int next(std::int32_t tick);
        // The time of the event the last next() found.
        std::int32_t hitTime() const { return hitTime_; }

    private:
        friend class VolumeFile;
        SoundingCursor(VolumeFile& file, int track, int channel, bool onAChannel);
        std::array<SoundingList, 4> lists_{};  // per sounding kind; empty for the kinds not searched
        int count_ = 0;                        // events in the track
        std::array<std::size_t, 4> at_{};      // per sounding kind: hits whose prefix maximum is at or below the tick
        std::int32_t lastTick_ = INT32_MIN;
        std::int32_t hitTime_ = 0;
    };
    SoundingCursor soundingCursor(int track, int channel, bool onAChannel) {
        return SoundingCursor(*this, track, channel, onAChannel);
    }

    // Positions of all events of a kind in a track, in order.
    std::span<const int> positionsOf(int track, EventKind kind);
    const Event* eventAt(int track, int index) const { return body().event(index, track); }
    int eventCount(int track) const {
        const Track* t = body().track(track);
        return t ? t->eventCount() : 0;
    }
    // Visits, in order, every index that the walk
    //   for (i = firstSounding(track, 0); i >= 0; i = firstSounding(track, i + 1))
    // reaches, in one pass over the track instead of a search per event.
    template <typename Visit>
    void walkSounding(int track, Visit visit);

private:
    static constexpr std::size_t kSoundingLists = 16;  // [sounding kind][channel]

    // Per track: the kind of every event, and the lists made from it when
    // first asked for. A rebuild of the kinds reuses their storage.
    struct TrackIndex {
        bool built = false;  // the kinds stand
        int count = 0;
        std::vector<EventKind> kinds;
        std::array<std::vector<int>, kEventKindCount> positions;
        std::array<bool, kEventKindCount> positionsBuilt{};
        bool soundingBuilt = false;
        // The sounding lists one after the other, list k from soundingStart[k].
        std::vector<int> soundingIndex;
        std::vector<std::int32_t> soundingTime;
        std::vector<std::int32_t> soundingMaxTime;
        std::array<std::uint32_t, kSoundingLists + 1> soundingStart{};
        std::array<bool, 4> lastExcluded{};  // per sounding kind
    };

    // A list that grows past its storage by a few events gets storage for
    // exactly that many: a vector's own growth would double it, and a
    // track-long list twice its size outweighs the copy.
    template <typename T>
    static void resizeWithoutSlack(std::vector<T>& list, std::size_t size) {
        if (list.capacity() < size) list.reserve(size);
        list.resize(size);
    }

    TrackIndex& indexOf(int track);
    SoundingList soundingList(int track, std::size_t group, int channel);
    void buildSounding(int track, TrackIndex& index);
    static bool isSoundingKind(EventKind kind);
    // Whether a walk over the hits of sounding kind `group` never reaches the
    // track's last event.
    static bool lastSoundingExcluded(const TrackIndex& index, std::size_t group);
    // Event times: the walk that sums them, kept between questions. It goes
    // a stretch of kTimeCheckpointEvery events at a time and keeps the times
    // of the last stretch, so that questions in increasing order (as the
    // reports ask them) step over each event once and most are answered from
    // that stretch. Where the walk stood is kept at the start of every
    // stretch, so that a question about an earlier one goes on from there.
    // Nothing is kept per event of the whole track.
    static constexpr std::size_t kTimeCheckpointEvery = 256;
    struct TimeWalkState {
        double sum = 0.0;             // the time of the event before `next`
        std::int64_t summedTo = 0;    // tracks 1-3: the tick the sum reaches
        std::uint32_t next = 0;       // the event to step over next
        std::uint32_t nextTempo = 0;  // the tempo event to apply next
        Tempo tempo = TempoClock::kStart;
    };
    struct TrackTimes {
        bool built = false;
        std::size_t count = 0;
        // Tracks 1-3 follow track 0's tempo events in time order; only a
        // model built by hand has them out of order, and then every time is
        // summed at once and kept here.
        std::vector<double> outOfOrderSums;
        // The state before event k * kTimeCheckpointEvery, k from 1 (before
        // event 0 it is the starting state).
        std::vector<TimeWalkState> checkpoints;
        TimeWalkState walk;
        std::vector<double> stretch;          // the times of the last stretch walked
        std::size_t stretchFirst = SIZE_MAX;  // the index of its first event
    };
    TrackTimes& timesOf(int track);
    // The tempo events tracks 1-3 follow: track 0's that the walk over them
    // reaches.
    std::span<const int> tempoEventsForOtherTracks();
    double timeOfEvent(int track, TrackTimes& times, std::size_t at);
    // Walks the stretch that starts at event `first` into times.stretch.
    void walkStretch(int track, TrackTimes& times, std::size_t first);
    void stepStretch(int track, TrackTimes& times);
    void sumTimesOutOfOrder(int track, std::span<const int> tempoEvents, std::vector<double>& out);
    // Where a default volume goes: after the set-up events at time 0; -1 when
    // nothing follows them.
    int setUpEnd(int track);
    void invalidateIndexes();
    static void dropListsOf(TrackIndex& index);
    // Drops what an edit of one track makes stale.
    void invalidateTrack(int track);

    // Checks the event at `at` of a track, just inserted, and the one after it.
    void checkInsertedAt(int track, int at);

    std::uint8_t maxGainValue_ = kMaxGainSteps;
    bool insertsKeptShape_ = true;
    std::array<TrackIndex, Body::kMaxTracks> indexes_;
    std::array<TrackTimes, Body::kMaxTracks> times_;
    TempoClock timeClock_;  // the clock of every track's walk
};

template <typename Accept>
int VolumeFile::findFrom(EventKind kind, int track, int from, Accept accept) {
    if (track < 0 || track >= body().trackCount()) return -1;
    const int count = eventCount(track);
    if (from < 0 || from >= count - 1) return -1;
    const std::span<const int> hits = positionsOf(track, kind);
    auto it = std::lower_bound(hits.begin(), hits.end(), from);
    for (; it != hits.end(); ++it) {
        const int hit = *it;
        if (accept(hit)) return hit;
        // The walk goes on at hit + 1: past the end it finds nothing, and on
        // the last event the last-position rule stops it.
        if (hit + 1 >= count - 1) return -1;
    }
    return -1;
}

template <typename Visit>
void VolumeFile::walkSounding(int track, Visit visit) {
    if (track < 0 || track >= body().trackCount()) return;
    const TrackIndex& index = indexOf(track);
    const int count = index.count;
    int previous = -1;
    for (int i = 0; i < count; ++i) {
        if (!isSoundingKind(index.kinds[static_cast<std::size_t>(i)])) continue;
        // Each search starts at the previous hit + 1, which must lie before
        // the last event.
        if (previous + 1 >= count - 1) return;
        visit(i);
        previous = i;
    }
}

}  // namespace keldro::mfi
