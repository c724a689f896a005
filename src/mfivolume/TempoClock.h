#pragma once
// The clock that turns ticks into milliseconds under the tempo in force:
// ticks * 60000 / tempo / ticks-per-beat.
#include <array>
#include <cstddef>
#include <cstdint>

namespace keldro::mfi {

// What a tempo event sets.
struct Tempo {
    int bpm;
    int ticksPerBeat;
};

class TempoClock {
public:
    // The tempo before any tempo event.
    static constexpr Tempo kStart{125, 48};

    TempoClock() = default;
    // A copy starts afresh at the starting tempo, with nothing remembered:
    // the clock is a cache of the walk that owns it, which sets the tempo it
    // stood at before going on (and no unwritten memory is read).
    TempoClock(const TempoClock&) {}
    TempoClock& operator=(const TempoClock&) {
        tempo_ = kStart.bpm;
        ticksPerBeat_ = kStart.ticksPerBeat;
        known_.fill(0);
        return *this;
    }

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
    // The tempo in force: applied again, it takes a walk back to where it was.
    Tempo tempo() const { return {tempo_, ticksPerBeat_}; }

private:
    double exactSegment(std::int64_t ticks) const {
        return static_cast<double>(ticks) * 60000.0 / static_cast<double>(tempo_) / static_cast<double>(ticksPerBeat_);
    }

    static constexpr std::size_t kRemembered = 256;
    int tempo_ = kStart.bpm;
    int ticksPerBeat_ = kStart.ticksPerBeat;
    // Lengths of 0 ... 255 ticks under the tempo in force; only those marked
    // in `known_` have been worked out (and the rest are never read).
    std::array<std::uint64_t, kRemembered / 64> known_{};
    std::array<double, kRemembered> remembered_;
};

}  // namespace keldro::mfi
