// Event times in milliseconds. Ticks become time through the tempo map of
// track 0: each stretch of ticks lasts ticks * 60000 / tempo / ticks-per-beat
// milliseconds under the tempo in force. The sums are kept per event index,
// built once per track, so that asking for every event of a track costs one
// walk instead of one walk per event.
#include <array>
#include <span>
#include <vector>

#include "mfivolume/VolumeFile.h"

namespace keldro::mfi {
namespace {

constexpr std::array<int, 16> kTicksPerBeat = {6, 12, 24, 48, 96, 192, 384, 48, 15, 30, 60, 120, 240, 480, 960, 48};

// What a tempo event sets, read from it before a walk, so that the walk's
// loop calls nothing and its running sum can stay in a register.
struct Tempo {
    int bpm;
    int ticksPerBeat;
};

Tempo tempoOf(const Event& event) {
    return {event.tempoBpm(), kTicksPerBeat[static_cast<std::size_t>(event.timebaseCode() & 0x0F)]};
}

class TempoClock {
public:
    // Stretches between events are mostly their delta, one byte of ticks, so
    // the length of each stretch under the tempo in force is worked out once
    // and remembered, by the same expression: the sums come out the same to
    // the last bit, with two divisions fewer per event.
    double segment(std::int64_t ticks) {
        if (ticks < 0 || ticks >= static_cast<std::int64_t>(kRemembered)) return exactSegment(ticks);
        const auto at = static_cast<std::size_t>(ticks);
        const std::uint64_t bit = std::uint64_t{1} << (at % 64);
        if (!(known_[at / 64] & bit)) {
            remembered_[at] = exactSegment(ticks);
            known_[at / 64] |= bit;
        }
        return remembered_[at];
    }
    // A tempo of 0 would make every later time infinite; such an event is
    // taken as no change of tempo at all.
    void apply(const Tempo& tempo) {
        if (tempo.bpm <= 0) return;
        if (tempo.bpm == tempo_ && tempo.ticksPerBeat == ticksPerBeat_) return;
        tempo_ = tempo.bpm;
        ticksPerBeat_ = tempo.ticksPerBeat;
        known_.fill(0);
    }

private:
    double exactSegment(std::int64_t ticks) const {
        return static_cast<double>(ticks) * 60000.0 / static_cast<double>(tempo_) / static_cast<double>(ticksPerBeat_);
    }

    static constexpr std::size_t kRemembered = 256;
    int tempo_ = 125;
    int ticksPerBeat_ = 48;
    // Lengths of 0 ... 255 ticks under the tempo in force; only those marked
    // in `known_` have been worked out (and the rest are never read).
    std::array<std::uint64_t, kRemembered / 64> known_{};
    std::array<double, kRemembered> remembered_;
};

struct TempoPoint {
    std::int32_t tick;
    Tempo tempo;
};

}  // namespace

std::int64_t VolumeFile::eventTimeMs(int track, int index) {
    if (track < 0 || track >= body().trackCount() || index < 0) return 0;
    const std::vector<double>& sums = cumulativeMs(track);
    if (sums.empty()) return 0;
    const std::size_t at = std::min(static_cast<std::size_t>(index), sums.size() - 1);
    return static_cast<std::int64_t>(sums[at]);
}

const std::vector<double>& VolumeFile::cumulativeMs(int track) {
    const auto slot = static_cast<std::size_t>(track);
    // Times of tracks 1-3 depend on track 0's tempo events, so any edit drops all.
    if (!cumulativeBuilt_[slot] || cumulativeMs_[slot].size() != static_cast<std::size_t>(eventCount(track))) {
        buildCumulativeMs(track, cumulativeMs_[slot]);
        cumulativeBuilt_[slot] = true;
    }
    return cumulativeMs_[slot];
}

void VolumeFile::buildCumulativeMs(int track, std::vector<double>& out) {
    const std::vector<Event>& events = body().track(track)->events();
    const std::size_t count = events.size();
    resizeWithoutSlack(out, count);
    double* const times = out.data();
    TempoClock clock;
    double sum = 0.0;
    if (track == 0) {
        // Track 0 keeps its own clock, which starts at its first event; each
        // of its tempo events sets the tempo from the event after it on.
        const std::span<const int> tempoAt = positionsOf(0, EventKind::Tempo);
        std::vector<Tempo> tempos;
        tempos.reserve(tempoAt.size());
        for (const int at : tempoAt) tempos.push_back(tempoOf(events[static_cast<std::size_t>(at)]));
        std::size_t next = 0;
        for (std::size_t i = 0; i < count; ++i) {
            if (i > 0) sum += clock.segment(std::int64_t{events[i].time()} - events[i - 1].time());
            times[i] = sum;
            if (next < tempoAt.size() && static_cast<std::size_t>(tempoAt[next]) == i) clock.apply(tempos[next++]);
        }
        return;
    }
    std::vector<TempoPoint> tempos;
    bool ascending = true;
    for (int t = nextTempo(0); t >= 0; t = nextTempo(t + 1)) {
        const Event& event = *eventAt(0, t);
        if (!tempos.empty() && event.time() < tempos.back().tick) ascending = false;
        tempos.push_back({event.time(), tempoOf(event)});
    }
    std::vector<bool> applied(ascending ? 0 : tempos.size(), false);
    std::size_t next = 0;
    std::int64_t summedTo = 0;
    // The stretch up to a tempo event's tick, then its tempo.
    const auto reach = [&clock, &summedTo](const TempoPoint& point, double runningSum) {
        runningSum += clock.segment(point.tick - summedTo);
        summedTo = point.tick;
        clock.apply(point.tempo);
        return runningSum;
    };
    for (std::size_t i = 0; i < count; ++i) {
        const std::int32_t tick = events[i].time();
        if (ascending) {
            for (; next < tempos.size() && tempos[next].tick <= tick; ++next) sum = reach(tempos[next], sum);
        } else {
            // Only a model built by hand has tempo events out of time order:
            // apply every pending one that is due, in list order.
            for (std::size_t k = 0; k < tempos.size(); ++k)
                if (!applied[k] && tempos[k].tick <= tick) {
                    applied[k] = true;
                    sum = reach(tempos[k], sum);
                }
        }
        sum += clock.segment(tick - summedTo);
        summedTo = tick;
        times[i] = sum;
    }
}

}  // namespace keldro::mfi
