// Event times in milliseconds. Ticks become time through the tempo map of
// track 0: each stretch of ticks lasts ticks * 60000 / tempo / ticks-per-beat
// milliseconds under the tempo in force (TempoClock). A track's times are
// running sums over its events, worked out by a walk that is kept between
// questions: asking for every event of a track in order costs one walk, and
// no time is stored per event.
#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <span>
#include <vector>

#include "mfivolume/VolumeFile.h"

namespace keldro::mfi {
namespace {

constexpr std::array<int, 16> kTicksPerBeat = {6, 12, 24, 48, 96, 192, 384, 48, 15, 30, 60, 120, 240, 480, 960, 48};

Tempo tempoOf(const Event& event) {
    return {event.tempoBpm(), kTicksPerBeat[static_cast<std::size_t>(event.timebaseCode() & 0x0F)]};
}

}  // namespace

std::int64_t VolumeFile::eventTimeMs(int track, int index) {
    if (track < 0 || track >= body().trackCount() || index < 0) return 0;
    TrackTimes& times = timesOf(track);
    if (times.count == 0) return 0;
    const std::size_t at = std::min(static_cast<std::size_t>(index), times.count - 1);
    return static_cast<std::int64_t>(timeOfEvent(track, times, at));
}

VolumeFile::TrackTimes& VolumeFile::timesOf(int track) {
    TrackTimes& times = times_[static_cast<std::size_t>(track)];
    const auto count = static_cast<std::size_t>(eventCount(track));
    // Times of tracks 1-3 depend on track 0's tempo events, so any edit drops all.
    if (times.built && times.count == count) return times;
    times.built = true;
    times.count = count;
    times.checkpoints.clear();
    std::vector<double>().swap(times.outOfOrderSums);
    times.walk = TimeWalkState{};
    times.stretchFirst = SIZE_MAX;
    if (track != 0) {
        const std::span<const int> tempos = tempoEventsForOtherTracks();
        const bool inOrder = std::is_sorted(
            tempos.begin(), tempos.end(), [&](int a, int b) { return eventAt(0, a)->time() < eventAt(0, b)->time(); });
        if (!inOrder) sumTimesOutOfOrder(track, tempos, times.outOfOrderSums);
    }
    return times;
}

std::span<const int> VolumeFile::tempoEventsForOtherTracks() {
    // The walk "from 0, then from each hit + 1" over track 0's tempo events:
    // it reaches none in a track of fewer than two events, and never the last
    // event when the one before it is also a tempo event.
    const int count = eventCount(0);
    if (count < 2) return {};
    const std::span<const int> tempos = positionsOf(0, EventKind::Tempo);
    const std::size_t size = tempos.size();
    if (size >= 2 && tempos[size - 1] == count - 1 && tempos[size - 2] == count - 2) return tempos.first(size - 1);
    return tempos;
}

double VolumeFile::timeOfEvent(int track, TrackTimes& times, std::size_t at) {
    if (!times.outOfOrderSums.empty()) return times.outOfOrderSums[at];
    const std::size_t first = at / kTimeCheckpointEvery * kTimeCheckpointEvery;
    if (times.stretchFirst != first) walkStretch(track, times, first);
    return times.stretch[at - first];
}

void VolumeFile::walkStretch(int track, TrackTimes& times, std::size_t first) {
    // Back to the start of an earlier stretch: the walk has passed it and
    // saved its state there.
    if (first < times.walk.next)
        times.walk = first == 0 ? TimeWalkState{} : times.checkpoints[first / kTimeCheckpointEvery - 1];
    // Every stretch walks from its start to the next one's; those before the
    // one asked for are walked over on the way.
    while (times.walk.next <= first) stepStretch(track, times);
    times.stretchFirst = first;
}

void VolumeFile::stepStretch(int track, TrackTimes& times) {
    const Event* const events = body().track(track)->events().data();
    TimeWalkState& walk = times.walk;
    const std::size_t from = walk.next;
    const std::size_t to = std::min(times.count, from + kTimeCheckpointEvery);
    if (from > 0 && times.checkpoints.size() == from / kTimeCheckpointEvery - 1) times.checkpoints.push_back(walk);
    times.stretch.resize(to - from);
    double* const out = times.stretch.data() - from;
    // One clock serves every track's walk: its remembered stretches of ticks
    // hold for the tempo it is set to, which the tracks mostly share.
    TempoClock& clock = timeClock_;
    clock.apply(walk.tempo);
    // The running sum and the tempo cursor stay in registers in the loops.
    double sum = walk.sum;
    std::int64_t summedTo = walk.summedTo;
    std::size_t nextTempo = walk.nextTempo;
    // Track 0 keeps its own clock, which starts at its first event; each of
    // its tempo events sets the tempo from the event after it on. Tracks 1-3
    // follow track 0's tempo events: the stretch up to each one's tick, then
    // its tempo.
    const std::span<const int> tempos = track == 0 ? positionsOf(0, EventKind::Tempo) : tempoEventsForOtherTracks();
    if (track == 0) {
        std::size_t nextPlace = nextTempo < tempos.size() ? static_cast<std::size_t>(tempos[nextTempo]) : SIZE_MAX;
        for (std::size_t i = from; i < to; ++i) {
            if (i > 0) sum += clock.segment(std::int64_t{events[i].time()} - events[i - 1].time());
            out[i] = sum;
            if (i == nextPlace) {
                clock.apply(tempoOf(events[i]));
                ++nextTempo;
                nextPlace = nextTempo < tempos.size() ? static_cast<std::size_t>(tempos[nextTempo]) : SIZE_MAX;
            }
        }
    } else {
        const Event* const track0 = body().track(0)->events().data();
        const auto tempoTick = [&] {
            return nextTempo < tempos.size() ? std::int64_t{track0[tempos[nextTempo]].time()} : INT64_MAX;
        };
        std::int64_t nextTick = tempoTick();
        for (std::size_t i = from; i < to; ++i) {
            const std::int32_t tick = events[i].time();
            while (nextTick <= tick) {
                sum += clock.segment(nextTick - summedTo);
                summedTo = nextTick;
                clock.apply(tempoOf(track0[tempos[nextTempo]]));
                ++nextTempo;
                nextTick = tempoTick();
            }
            sum += clock.segment(tick - summedTo);
            summedTo = tick;
            out[i] = sum;
        }
    }
    walk = {sum, summedTo, static_cast<std::uint32_t>(to), static_cast<std::uint32_t>(nextTempo), clock.tempo()};
}

void VolumeFile::sumTimesOutOfOrder(int track, std::span<const int> tempoEvents, std::vector<double>& out) {
    // Every pending tempo event that is due is applied, in list order.
    const std::vector<Event>& events = body().track(track)->events();
    out.resize(events.size());
    TempoClock clock;
    std::vector<bool> applied(tempoEvents.size(), false);
    double sum = 0.0;
    std::int64_t summedTo = 0;
    for (std::size_t i = 0; i < events.size(); ++i) {
        const std::int32_t tick = events[i].time();
        for (std::size_t k = 0; k < tempoEvents.size(); ++k) {
            const Event& tempo = *eventAt(0, tempoEvents[k]);
            if (applied[k] || tempo.time() > tick) continue;
            applied[k] = true;
            sum += clock.segment(tempo.time() - summedTo);
            summedTo = tempo.time();
            clock.apply(tempoOf(tempo));
        }
        sum += clock.segment(tick - summedTo);
        summedTo = tick;
        out[i] = sum;
    }
}

}  // namespace keldro::mfi
