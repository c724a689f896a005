// Event times in milliseconds. Ticks become time through the tempo map of
// track 0: each stretch of ticks lasts ticks * 60000 / tempo / ticks-per-beat
// milliseconds under the tempo in force (TempoClock). A track's times are
// running sums over its events, worked out by a walk that is kept between
// questions: asking for every event of a track in order costs one walk, and
// no time is stored per event.
#include <algorithm>
#include <array>
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
    times.clock.set(times.walk.tempo);
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
    if (at + 1 < times.walk.next) restartWalk(times, at);
    if (at >= times.walk.next) stepTimes(track, times, at + 1);
    return times.walk.sum;
}

void VolumeFile::restartWalk(TrackTimes& times, std::size_t at) {
    // The walk has passed `at`, so it saved the checkpoint before it.
    times.walk = times.checkpoints[at / kTimeCheckpointEvery];
    times.clock.set(times.walk.tempo);
}

void VolumeFile::stepTimes(int track, TrackTimes& times, std::size_t to) {
    const std::vector<Event>& events = body().track(track)->events();
    TimeWalkState& walk = times.walk;
    TempoClock& clock = times.clock;
    // The running sum stays in a register while the loop runs.
    double sum = walk.sum;
    std::size_t nextTempo = walk.nextTempo;
    // The state before event i, once, when the walk first gets there.
    const auto checkpoint = [&](std::size_t i, std::int64_t summedTo) {
        if (i % kTimeCheckpointEvery != 0 || times.checkpoints.size() != i / kTimeCheckpointEvery) return;
        times.checkpoints.push_back(
            {sum, summedTo, static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(nextTempo), clock.tempo()});
    };
    if (track == 0) {
        // Track 0 keeps its own clock, which starts at its first event; each
        // of its tempo events sets the tempo from the event after it on.
        const std::span<const int> tempoAt = positionsOf(0, EventKind::Tempo);
        for (std::size_t i = walk.next; i < to; ++i) {
            checkpoint(i, 0);
            if (i > 0) sum += clock.segment(std::int64_t{events[i].time()} - events[i - 1].time());
            if (nextTempo < tempoAt.size() && static_cast<std::size_t>(tempoAt[nextTempo]) == i) {
                clock.apply(tempoOf(events[i]));
                ++nextTempo;
            }
        }
    } else {
        // The stretch up to each tempo event's tick, then its tempo.
        const std::span<const int> tempos = tempoEventsForOtherTracks();
        std::int64_t summedTo = walk.summedTo;
        for (std::size_t i = walk.next; i < to; ++i) {
            checkpoint(i, summedTo);
            const std::int32_t tick = events[i].time();
            for (; nextTempo < tempos.size(); ++nextTempo) {
                const Event& tempo = *eventAt(0, tempos[nextTempo]);
                if (tempo.time() > tick) break;
                sum += clock.segment(tempo.time() - summedTo);
                summedTo = tempo.time();
                clock.apply(tempoOf(tempo));
            }
            sum += clock.segment(tick - summedTo);
            summedTo = tick;
        }
        walk.summedTo = summedTo;
    }
    walk.sum = sum;
    walk.next = static_cast<std::uint32_t>(to);
    walk.nextTempo = static_cast<std::uint32_t>(nextTempo);
    walk.tempo = clock.tempo();
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
