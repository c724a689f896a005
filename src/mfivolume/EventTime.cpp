// Event times in milliseconds. Ticks become time through the tempo map of
// track 0: each stretch of ticks lasts ticks * 60000 / tempo / ticks-per-beat
// milliseconds under the tempo in force. The sums are kept per event index,
// built once per track, so that asking for every event of a track costs one
// walk instead of one walk per event.
#include <array>

#include "mfivolume/VolumeFile.h"

namespace keldro::mfi {
namespace {

constexpr std::array<int, 16> kTicksPerBeat = {6, 12, 24, 48, 96, 192, 384, 48, 15, 30, 60, 120, 240, 480, 960, 48};

class TempoClock {
public:
    double segment(std::int64_t ticks) const {
        return static_cast<double>(ticks) * 60000.0 / static_cast<double>(tempo_) / static_cast<double>(ticksPerBeat_);
    }
    // A tempo of 0 would make every later time infinite; such an event is
    // taken as no change of tempo at all.
    void apply(const Event& tempoEvent) {
        if (tempoEvent.tempoBpm() <= 0) return;
        tempo_ = tempoEvent.tempoBpm();
        ticksPerBeat_ = kTicksPerBeat[static_cast<std::size_t>(tempoEvent.timebaseCode())];
    }

private:
    int tempo_ = 125;
    int ticksPerBeat_ = 48;
};

struct TempoPoint {
    std::int32_t tick;
    const Event* event;
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
    const int count = eventCount(track);
    out.assign(static_cast<std::size_t>(count), 0.0);
    TempoClock clock;
    double sum = 0.0;
    if (track == 0) {
        // Track 0 keeps its own clock, which starts at its first event.
        for (int i = 0; i < count; ++i) {
            const Event& event = *eventAt(0, i);
            if (i > 0) sum += clock.segment(std::int64_t{event.time()} - eventAt(0, i - 1)->time());
            out[static_cast<std::size_t>(i)] = sum;
            if (event.isTempo()) clock.apply(event);
        }
        return;
    }
    std::vector<TempoPoint> tempos;
    bool ascending = true;
    for (int t = nextTempo(0); t >= 0; t = nextTempo(t + 1)) {
        const Event* event = eventAt(0, t);
        if (!tempos.empty() && event->time() < tempos.back().tick) ascending = false;
        tempos.push_back({event->time(), event});
    }
    std::vector<bool> applied(ascending ? 0 : tempos.size(), false);
    std::size_t next = 0;
    std::int64_t summedTo = 0;
    auto applyTempo = [&](const TempoPoint& point) {
        sum += clock.segment(point.tick - summedTo);
        summedTo = point.tick;
        clock.apply(*point.event);
    };
    for (int i = 0; i < count; ++i) {
        const std::int32_t tick = eventAt(track, i)->time();
        if (ascending) {
            for (; next < tempos.size() && tempos[next].tick <= tick; ++next) applyTempo(tempos[next]);
        } else {
            // Only a model built by hand has tempo events out of time order:
            // apply every pending one that is due, in list order.
            for (std::size_t k = 0; k < tempos.size(); ++k)
                if (!applied[k] && tempos[k].tick <= tick) {
                    applied[k] = true;
                    applyTempo(tempos[k]);
                }
        }
        sum += clock.segment(tick - summedTo);
        summedTo = tick;
        out[static_cast<std::size_t>(i)] = sum;
    }
}

}  // namespace keldro::mfi
