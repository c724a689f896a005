// "Regulate Chorus": the level byte of the effect blocks of four effect types
// follows the volume change, and the effect sends under those types move the
// opposite way by the same ratio. Because a send value holds until the next
// send of its channel, every effect selection that switches between a
// regulated and another type first gets, for each channel that plays after
// it, its own copy of the send in force; only then are the sends under a
// regulated type scaled.
#include <algorithm>
#include <cmath>
#include <tuple>

#include "mfivolume/Rules.h"
#include "volume/VolumeRules.h"
#include "volume/VolumeTables.h"

namespace keldro::mfi {
namespace {

constexpr int kMaxBlocks = 32;
constexpr int kBlockBufferSize = 1024;
constexpr int kSendSlots = 32;  // 4 tracks x 4 channels, plain and A channels
constexpr int kTrackCount = 4;

struct Selection {
    int block;  // effect block index (selector - 64)
    std::int32_t tick;
};

// The effect types and the selections of the file, as the regulation sees them.
struct EffectPlan {
    std::vector<int> types;  // per block
    std::vector<Selection> selections;

    int typeOfBlock(int block) const {
        return block >= 0 && block < static_cast<int>(types.size()) ? types[static_cast<std::size_t>(block)] : types[0];
    }
};

struct SendSlot {
    int track;
    int channel;
    bool onAChannel;
    int code() const { return Event::effectSendCodeOf(channel, onAChannel); }
};

SendSlot slotOf(int q) { return {(q % 16) / 4, q % 4, q >= 16}; }

std::vector<Selection> collectSelections(VolumeFile& model) {
    std::vector<Selection> selections;
    for (int i = model.nextEffectSelect(0, 2); i >= 0; i = model.nextEffectSelect(i + 1, 2))
        selections.push_back({model.eventAt(0, i)->effectSelector() - 64, model.eventAt(0, i)->time()});
    return selections;
}

// The send in force for a slot at tick c: the value of the last send of that
// channel with a tick <= c (0 when none), and where the walk over those sends
// stopped.
struct SendInForce {
    int value = 0;
    int stoppedAt = -1;
};

SendInForce sendInForce(VolumeFile& model, const SendSlot& slot, std::int32_t tick) {
    SendInForce found;
    for (int w = model.nextEffectSendOf(slot.track, 0, slot.channel, slot.onAChannel); w >= 0;
         w = model.nextEffectSendOf(slot.track, w + 1, slot.channel, slot.onAChannel)) {
        const Event& send = *model.eventAt(slot.track, w);
        if (send.time() > tick) {
            found.stoppedAt = w;
            break;
        }
        found.value = send.effectSendValue();
    }
    return found;
}

bool switchesRegulation(const EffectPlan& plan, std::size_t entry) {
    const int next = plan.typeOfBlock(plan.selections[entry].block);
    const int previous = entry == 0 ? plan.types[0] : plan.typeOfBlock(plan.selections[entry - 1].block);
    return isChorusLikeEffect(next) || isChorusLikeEffect(previous);
}

// The copies placed by editing the model at each one; every later search sees them.
void placeSendCopiesOneByOne(VolumeFile& model, const EffectPlan& plan) {
    for (std::size_t entry = 0; entry < plan.selections.size(); ++entry) {
        const std::int32_t tick = plan.selections[entry].tick;
        for (int q = 0; q < kSendSlots; ++q) {
            const SendSlot slot = slotOf(q);
            const int sounding = model.nextSoundingAfterTick(slot.track, slot.channel, slot.onAChannel, tick);
            if (sounding < 0) continue;
            const SendInForce send = sendInForce(model, slot, tick);
            if (send.value == 0 || (send.stoppedAt >= 0 && send.stoppedAt <= sounding)) continue;
            if (switchesRegulation(plan, entry))
                model.insertEffectSend(slot.track, sounding, slot.channel, slot.onAChannel, send.value);
        }
    }
}

// The same copies, planned on the unedited tracks. A copy goes right before an
// original event (its anchor), so positions are compared as (anchor, order):
// copies before an anchor come before it. A track's sends of one channel are
// kept ordered by (tick, anchor, order), which is their order in the track as
// long as the track's times never go backwards.
//
// The sends of one channel are two sorted lists: the originals, in track
// order, and the copies, appended in the order they are made. Selection ticks
// never go down (they are track 0's times, which canPlan checks), so each list
// is read through a cursor that only moves forward, and a copy always lands
// after the cursor (it goes before a sounding event later than the tick).
class SendCopyPlanner {
public:
    explicit SendCopyPlanner(VolumeFile& model) : model_(model) {
        for (int track = 0; track < kTrackCount; ++track) collectSends(track);
        for (int q = 0; q < kSendSlots; ++q) {
            const SendSlot slot = slotOf(q);
            sounding_.push_back(model_.soundingCursor(slot.track, slot.channel, slot.onAChannel));
        }
    }

    static bool canPlan(VolumeFile& model) {
        for (int track = 0; track < model.body().trackCount(); ++track) {
            const std::vector<Event>& events = model.body().track(track)->events();
            for (std::size_t i = 1; i < events.size(); ++i)
                if (events[i].time() < events[i - 1].time()) return false;
        }
        return true;
    }

    // A slot's answers depend only on its own sends and sounding events, and
    // a copy goes before a sounding event of its own slot: slots are planned
    // one after the other, each walking its lists once in tick order.
    void plan(const EffectPlan& plan) {
        std::vector<bool> switches(plan.selections.size());
        for (std::size_t entry = 0; entry < plan.selections.size(); ++entry)
            switches[entry] = switchesRegulation(plan, entry);
        for (int q = 0; q < kSendSlots; ++q) {
            for (std::size_t entry = 0; entry < plan.selections.size(); ++entry)
                considerSlot(q, plan.selections[entry].tick, switches[entry]);
            releaseSends(q);
        }
    }

    void insertCopies() {
        for (int track = 0; track < kTrackCount; ++track) {
            TrackPlan& t = tracks_[static_cast<std::size_t>(track)];
            if (t.copies.empty()) continue;
            // Copies before the same event keep the order they were made in:
            // each new one went right before the event, after the earlier ones.
            std::stable_sort(t.copies.begin(), t.copies.end(),
                             [](const Copy& a, const Copy& b) { return a.anchor < b.anchor; });
            std::vector<int> before;
            std::vector<Event> copies;
            before.reserve(t.copies.size());
            copies.reserve(t.copies.size());
            for (const Copy& copy : t.copies) {
                before.push_back(copy.anchor);
                copies.push_back(Event::makeEffectSend(copy.tick, copy.channel, copy.onAChannel, copy.value));
            }
            t.copies = {};
            model_.insertEvents(track, before, std::move(copies));
        }
    }

private:
    using SendKey = std::tuple<std::int32_t, int, int, int>;  // tick, anchor, 0 copy / 1 original, order
    struct Send {
        SendKey key;
        int value;
    };
    // Sends of one list in key order, and how many of them have a tick at or
    // below the tick last asked about.
    struct SendList {
        static constexpr std::size_t kKeptSends = 1024;
        std::vector<Send> sends;
        std::size_t upTo = 0;

        // Moves the cursor to the tick; a tick below the last one (not seen
        // while canPlan holds) searches afresh.
        void advanceTo(std::int32_t tick) {
            if (upTo > 0 && std::get<0>(sends[upTo - 1].key) > tick) upTo = 0;
            while (upTo < sends.size() && std::get<0>(sends[upTo].key) <= tick) ++upTo;
        }
        void release() {
            if (sends.capacity() > kKeptSends) std::vector<Send>().swap(sends);
        }
        const Send* lastAtOrBefore() const { return upTo == 0 ? nullptr : &sends[upTo - 1]; }
        const Send* firstAfter() const { return upTo < sends.size() ? &sends[upTo] : nullptr; }
        // Keeps the key order whatever the key; in practice always the end.
        void add(const Send& send) {
            if (sends.empty() || sends.back().key < send.key) {
                sends.push_back(send);
                return;
            }
            auto at = std::upper_bound(sends.begin(), sends.end(), send.key,
                                       [](const SendKey& key, const Send& s) { return key < s.key; });
            if (at - sends.begin() < static_cast<std::ptrdiff_t>(upTo)) ++upTo;
            sends.insert(at, send);
        }
    };
    struct ChannelSends {
        SendList originals;
        SendList copies;
    };
    struct Copy {
        int anchor;
        std::int32_t tick;  // the anchor's
        int value;
        std::int8_t channel;
        bool onAChannel;
    };
    struct TrackPlan {
        std::array<ChannelSends, 32> sendsByCode;
        std::vector<Copy> copies;  // in the order they were made
    };

    void collectSends(int track) {
        TrackPlan& t = tracks_[static_cast<std::size_t>(track)];
        // Walks over sends go through the same search as everywhere, so the
        // send that the last-position rule hides stays hidden.
        VolumeFile::KindCursor sends = model_.cursor(EventKind::EffectSend, track);
        for (int w = sends.next(0); w >= 0; w = sends.next(w + 1)) {
            const Event& send = *model_.eventAt(track, w);
            const int code = send.effectSendCode();
            if (code < 0) continue;
            t.sendsByCode[static_cast<std::size_t>(code)].originals.add(
                {{send.time(), w, 1, 0}, send.effectSendValue()});
        }
    }

    // A slot's lists of sends have served once it is planned: long ones give
    // their memory back before the next slot's copies and the tracks grow.
    void releaseSends(int q) {
        const SendSlot slot = slotOf(q);
        ChannelSends& sends =
            tracks_[static_cast<std::size_t>(slot.track)].sendsByCode[static_cast<std::size_t>(slot.code())];
        sends.originals.release();
        sends.copies.release();
    }

    // The later of two sends in key order, either may be missing.
    static const Send* later(const Send* a, const Send* b) {
        if (!a) return b;
        if (!b) return a;
        return a->key < b->key ? b : a;
    }
    static const Send* earlier(const Send* a, const Send* b) {
        if (!a) return b;
        if (!b) return a;
        return a->key < b->key ? a : b;
    }

    void considerSlot(int q, std::int32_t tick, bool switches) {
        const SendSlot slot = slotOf(q);
        if (slot.track >= model_.body().trackCount()) return;
        TrackPlan& t = tracks_[static_cast<std::size_t>(slot.track)];
        // The copies made so far do not change the answer: a copy goes before
        // a sounding event that a walk reaches, so it never uncovers one.
        VolumeFile::SoundingCursor& cursor = sounding_[static_cast<std::size_t>(q)];
        const int sounding = cursor.next(tick);
        if (sounding < 0) return;
        ChannelSends& sends = t.sendsByCode[static_cast<std::size_t>(slot.code())];
        sends.originals.advanceTo(tick);
        sends.copies.advanceTo(tick);
        // The send in force: the last one with a tick at or below this one.
        const Send* inForce = later(sends.originals.lastAtOrBefore(), sends.copies.lastAtOrBefore());
        const int value = inForce ? inForce->value : 0;
        if (value == 0) return;
        // The next send of the channel already comes before the sounding event.
        const Send* stop = earlier(sends.originals.firstAfter(), sends.copies.firstAfter());
        if (stop && std::get<1>(stop->key) <= sounding) return;
        if (!switches) return;
        const std::int32_t soundingTick = cursor.hitTime();
        sends.copies.add({{soundingTick, sounding, 0, nextOrder_++}, value});
        t.copies.push_back({sounding, soundingTick, value, static_cast<std::int8_t>(slot.channel), slot.onAChannel});
    }

    VolumeFile& model_;
    std::array<TrackPlan, kTrackCount> tracks_;
    std::vector<VolumeFile::SoundingCursor> sounding_;  // per send slot
    int nextOrder_ = 0;
};

// The type in force at a tick: that of the last selection strictly before
// it (selections of a block that does not exist are passed over), type[0]
// before the first one.
class TypeInForce {
public:
    explicit TypeInForce(const EffectPlan& plan) : plan_(plan) {
        for (const Selection& s : plan.selections)
            if (s.block < static_cast<int>(plan.types.size())) valid_.push_back(s);
        // Suffix minimum of the ticks: the last entry with a tick below B is the
        // last position whose suffix minimum is below B, in any tick order.
        suffixMin_.resize(valid_.size());
        for (std::size_t i = valid_.size(); i-- > 0;)
            suffixMin_[i] = i + 1 < valid_.size() ? std::min(valid_[i].tick, suffixMin_[i + 1]) : valid_[i].tick;
    }

    int at(std::int32_t tick) const {
        // suffixMin_ never decreases: find the first position whose suffix
        // minimum is no longer below the tick.
        auto end = std::partition_point(suffixMin_.begin(), suffixMin_.end(), [&](std::int32_t m) { return m < tick; });
        if (end == suffixMin_.begin()) return plan_.types[0];
        return plan_
            .types[static_cast<std::size_t>(valid_[static_cast<std::size_t>(end - suffixMin_.begin() - 1)].block)];
    }

private:
    const EffectPlan& plan_;
    std::vector<Selection> valid_;
    std::vector<std::int32_t> suffixMin_;
};

void scaleSends(VolumeFile& model, const EffectPlan& plan, double factor) {
    const TypeInForce typeInForce(plan);
    for (int track = 0; track < kTrackCount; ++track) {
        // Setting a send value keeps the event's kind, so the cursor stays valid.
        VolumeFile::KindCursor sends = model.cursor(EventKind::EffectSend, track);
        for (int w = sends.next(0); w >= 0; w = sends.next(w + 1)) {
            const Event& send = *model.eventAt(track, w);
            const int value = send.effectSendValue();
            if (value <= 0) continue;
            if (isChorusLikeEffect(typeInForce.at(send.time())))
                model.setEffectSendValue(track, w, scaleEffectLevel(value, factor));
        }
    }
}

}  // namespace

void regulateEffects(VolumeFile& model, double db, SendCopyPlanning planning) {
    if (db == 0) return;
    const int settings = model.firstEffectSettings();
    if (settings < 0) return;
    std::array<std::uint8_t, kBlockBufferSize> blocks{};
    const int bytes = model.readEffectBlocks(settings, blocks.data(), kBlockBufferSize);
    if (bytes < kEffectBlockSize) return;
    const int blockCount = std::min(bytes / kEffectBlockSize, kMaxBlocks);

    // The level moves with the volume: 10^(db/40) on the half-dB grid. The
    // table index stays within the table whatever the change.
    const int steps = std::clamp(static_cast<int>(2 * std::fabs(db)), 0, 191);
    const double tableLevel = kAttenuationToVolume[static_cast<std::size_t>(steps)];
    const double levelFactor = db > 0 ? 127 / tableLevel : tableLevel / 127;

    EffectPlan plan;
    bool regulatedBlock = false;
    for (int i = 0; i < blockCount; ++i) {
        std::uint8_t* block = blocks.data() + i * kEffectBlockSize;
        const int type = model.eventAt(0, settings)->effectType(i);
        plan.types.push_back(type);
        if (!isChorusLikeEffect(type)) continue;
        block[kEffectLevelByte] = static_cast<std::uint8_t>(scaleEffectLevel(block[kEffectLevelByte], levelFactor));
        regulatedBlock = true;
    }
    if (!regulatedBlock) return;
    model.writeEffectBlocks(settings, blocks.data(), blockCount * kEffectBlockSize);

    plan.selections = collectSelections(model);
    if (planning == SendCopyPlanning::Batched && SendCopyPlanner::canPlan(model)) {
        SendCopyPlanner planner(model);
        planner.plan(plan);
        planner.insertCopies();
    } else {
        placeSendCopiesOneByOne(model, plan);
    }
    // Sends move the other way.
    scaleSends(model, plan, db > 0 ? tableLevel / 127 : 127 / tableLevel);
}

}  // namespace keldro::mfi
