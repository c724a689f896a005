#include "mfivolume/ChangeReport.h"

#include <algorithm>
#include <array>

#include "volume/Result.h"
#include "mfivolume/Rules.h"
#include "volume/VolumeRules.h"

namespace keldro::mfi {
namespace {

constexpr std::uint8_t kAdpcmTrack = 255;
constexpr int kEffectBufferSize = 1024;
constexpr int kTrackCount = 4;

// Every record starts from these values; the position is the event's time in
// the converted file (its high 32 bits are 0).
VolumeChangeRecord newRecord(VolumeFile& converted, int track, int index) {
    VolumeChangeRecord record;
    record.beforeVolume = 255;
    record.afterVolume = 255;
    record.beforeGain = 255;
    record.afterGain = 255;
    record.position = static_cast<std::uint32_t>(converted.eventTimeMs(track, index));
    return record;
}

// Record fields are bytes: values are kept modulo 256.
std::uint8_t byteOf(int value) { return static_cast<std::uint8_t>(value); }

struct FirstSound {
    int minTick = -1;        // earliest tick of any sounding event, -1 when nothing sounds
    int firstOfTrack0 = -1;  // index of track 0's earliest sounding event
};

FirstSound findFirstSound(VolumeFile& converted) {
    FirstSound sound;
    int track0Tick = -1;
    for (int track = 0; track < kTrackCount; ++track) {
        converted.walkSounding(track, [&](int i) {
            const int tick = converted.eventAt(track, i)->time();
            if (sound.minTick < 0 || tick < sound.minTick) sound.minTick = tick;
            if (track == 0 && (sound.firstOfTrack0 < 0 || tick < track0Tick)) {
                sound.firstOfTrack0 = i;
                track0Tick = tick;
            }
        });
    }
    return sound;
}

// Volume of a volume event: a channel volume, or in track 0 an ADPCM volume,
// which the records show as track 255.
int volumeOf(const Event& event, int track, std::uint8_t& recordTrack) {
    if (event.isChannelVolume()) {
        recordTrack = static_cast<std::uint8_t>(track);
        return event.channelVolume();
    }
    recordTrack = kAdpcmTrack;
    return track == 0 ? event.adpcmVolume() : -1;
}

}  // namespace

// ---- The input's volume points ----

unsigned InputVolumes::contentsFor(int version, const VolumeSettings& settings) {
    if (version == kMfiVersion20) return kVolumes;
    const bool effects = version == kMfiVersion40 && settings.regulateChorus;
    return kMasterVolumes | (effects ? kEffects : 0u);
}

InputVolumes::InputVolumes(VolumeFile& input, unsigned contents) : maxGain_(input.maxGainValue()) {
    if (contents & kMasterVolumes) {
        VolumeFile::KindCursor masterVolumes = input.cursor(EventKind::MasterVolume, 0);
        for (int i = masterVolumes.next(0); i >= 0; i = masterVolumes.next(i + 1)) {
            const Event& event = *input.eventAt(0, i);
            masterVolumes_.emplace_back(event.time(), static_cast<std::int16_t>(event.masterVolume()));
        }
        // By tick, the first one of each tick kept (a read track is in time order already).
        std::stable_sort(masterVolumes_.begin(), masterVolumes_.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        masterVolumes_.erase(std::unique(masterVolumes_.begin(), masterVolumes_.end(),
                                         [](const auto& a, const auto& b) { return a.first == b.first; }),
                             masterVolumes_.end());
    }
    tracks_.resize(kTrackCount);
    for (int t = 0; t < kTrackCount; ++t) {
        Track& track = tracks_[static_cast<std::size_t>(t)];
        track.count = input.eventCount(t);
        if (contents & kVolumes) {
            const std::span<const int> channel = input.positionsOf(t, EventKind::ChannelVolume);
            const std::span<const int> adpcm =
                t == 0 ? input.positionsOf(0, EventKind::AdpcmVolume) : std::span<const int>();
            track.volumes.reserve(channel.size() + adpcm.size());
            std::vector<int> both(channel.size() + adpcm.size());
            std::merge(channel.begin(), channel.end(), adpcm.begin(), adpcm.end(), both.begin());
            for (const int i : both) {
                const Event& event = *input.eventAt(t, i);
                std::uint8_t recordTrack = 0;
                track.volumes.push_back({input.eventTimeMs(t, i), i, event.kind(),
                                         static_cast<std::int8_t>(event.channel()),
                                         static_cast<std::int16_t>(volumeOf(event, t, recordTrack))});
            }
        }
        if (contents & kEffects) {
            const std::span<const int> sends = input.positionsOf(t, EventKind::EffectSend);
            track.sends.reserve(sends.size());
            for (const int i : sends) {
                const Event& event = *input.eventAt(t, i);
                track.sends.push_back({i, static_cast<std::int16_t>(event.effectSendValue()),
                                       static_cast<std::int16_t>(event.effectSendCode())});
            }
        }
    }
    if (contents & kEffects) {
        for (int i = 0; i < input.eventCount(0); ++i) {
            const Event& event = *input.eventAt(0, i);
            if (event.extDataSize() <= 35) continue;
            LongBlock block{i, static_cast<std::int32_t>(event.extDataSize()), event.isEffectSettings(), {}};
            if (block.isEffectSettings) block.blocks.assign(event.extData().begin() + 4, event.extData().end());
            longBlocks_.push_back(std::move(block));
        }
    }
}

int InputVolumes::masterVolumeAt(std::int32_t tick) const {
    const auto found = std::lower_bound(masterVolumes_.begin(), masterVolumes_.end(), tick,
                                        [](const auto& entry, std::int32_t t) { return entry.first < t; });
    return found != masterVolumes_.end() && found->first == tick ? found->second : -1;
}

template <typename Entry>
const Entry* InputVolumes::firstFrom(const std::vector<Entry>& list, int count, int from) {
    if (from < 0 || from >= count - 1) return nullptr;
    const auto found =
        std::lower_bound(list.begin(), list.end(), from, [](const Entry& entry, int at) { return entry.index < at; });
    return found == list.end() ? nullptr : &*found;
}

const InputVolumes::Volume* InputVolumes::nextVolume(int track, int from) const {
    if (track < 0 || track >= kTrackCount) return nullptr;
    const Track& t = tracks_[static_cast<std::size_t>(track)];
    return firstFrom(t.volumes, t.count, from);
}

const InputVolumes::Send* InputVolumes::nextSend(int track, int from) const {
    if (track < 0 || track >= kTrackCount) return nullptr;
    const Track& t = tracks_[static_cast<std::size_t>(track)];
    return firstFrom(t.sends, t.count, from);
}

int InputVolumes::readEffectBlocks(int index, std::uint8_t* buffer, int capacity) const {
    const auto found = std::lower_bound(longBlocks_.begin(), longBlocks_.end(), index,
                                        [](const LongBlock& block, int at) { return block.index < at; });
    if (found == longBlocks_.end() || found->index != index) return -1;
    if (!found->isEffectSettings) return found->size;
    const int count = std::min(found->size - 4, std::max(capacity, 0));
    std::copy_n(found->blocks.begin(), count, buffer);
    return count;
}

Result reportMaxGainChanges(const InputVolumes& input, VolumeFile& converted, const VolumeSettings& settings,
                            ChangeSink changes) {
    const bool relative = !settings.isAbsolute();
    const int gainIndex = converted.lastMaxGainIndex();
    if (gainIndex < 0) return Result::NoMaxGain;
    const int gainTick = converted.eventAt(0, gainIndex)->time();

    VolumeChangeRecord gain = newRecord(converted, 0, gainIndex);
    gain.beforeGain = input.maxGainValue();
    gain.afterGain = converted.maxGainValue();
    gain.action = relative ? kActionMaxGainRelative : kActionMaxGainAbsolute;
    changes.add(gain);

    // The MaxGain must come before anything sounds.
    const FirstSound sound = findFirstSound(converted);
    if (sound.minTick != -1 &&
        (sound.minTick < gainTick || (sound.firstOfTrack0 != -1 && sound.firstOfTrack0 < gainIndex)))
        return Result::NoMaxGain;

    bool found = false;
    VolumeFile::KindCursor masterVolumes = converted.cursor(EventKind::MasterVolume, 0);
    for (int i = masterVolumes.next(0); i >= 0; i = masterVolumes.next(i + 1)) {
        const Event& masterVolume = *converted.eventAt(0, i);
        const int tick = masterVolume.time();
        if (tick < gainTick || i < gainIndex) return Result::NoMaxGain;
        if (sound.minTick == -1) {
            found = true;
        } else if (!found) {
            if (sound.firstOfTrack0 != -1 && sound.firstOfTrack0 < i) return Result::NoMasterVolume;
            if (tick <= sound.minTick) found = true;
        }
        if (!relative) continue;  // absolute changes leave master volumes alone
        VolumeChangeRecord record = newRecord(converted, 0, i);
        record.afterVolume = byteOf(masterVolume.masterVolume());
        if (const int before = input.masterVolumeAt(tick); before >= 0) {
            record.beforeVolume = byteOf(before);
            record.action = kActionVolumeRelative;
        }
        changes.add(record);
    }
    return found ? Result::Converted : Result::NoMasterVolume;
}

namespace {

// One volume event of the converted file and what it is compared with.
struct VolumeWalk {
    int track;
    int inserted = 0;                             // volume events the conversion put in so far
    int converted = 0;                            // search start in the converted model
    int input = 0;                                // search position in the input model, -1 once exhausted
    const InputVolumes::Volume* found = nullptr;  // the input's volume at `input`
};

// The same volume event in both files: same place (counting the inserted
// ones), same kind, same channel, same time.
bool isCounterpart(VolumeFile& converted, const VolumeWalk& walk, int c) {
    const int t = walk.track;
    const int i0 = walk.input;
    if (i0 < 0 || c != i0 + walk.inserted) return false;
    const InputVolumes::Volume& before = *walk.found;
    const Event& after = *converted.eventAt(t, c);
    return before.channel == after.channel() && before.kind == after.kind() &&
           before.timeMs == converted.eventTimeMs(t, c);
}

// Walks one track's volume events; false ends the track.
bool reportNextVolume(const InputVolumes& input, VolumeFile& converted, const VolumeSettings& settings,
                      VolumeWalk& walk, ChangeSink& changes) {
    const int t = walk.track;
    const int c = converted.nextVolumeEvent(t, walk.converted);
    if (c < 0) return false;
    walk.converted = c + 1;
    VolumeChangeRecord record = newRecord(converted, t, c);
    const Event& event = *converted.eventAt(t, c);
    const int after = volumeOf(event, t, record.track);
    if (after < 0) return false;
    record.channel = byteOf(event.channel());
    record.beforeVolume = VolumeFile::kAssumedVolume;  // an inserted volume starts from it
    record.afterVolume = byteOf(after);
    const bool relative = !settings.isAbsolute();

    if (walk.input >= 0) {
        walk.found = input.nextVolume(t, walk.input);
        walk.input = walk.found ? walk.found->index : -1;
    }
    if (!isCounterpart(converted, walk, c)) {
        // A default volume the conversion put in front of a channel.
        record.action = relative ? kActionInsertedVolumeRelative : kActionInsertedVolumeAbsolute;
        changes.add(record);
        ++walk.inserted;
        return true;
    }
    const int before = walk.found->value;
    if (before < 0) return false;
    record.beforeVolume = byteOf(before);
    const int entry = record.track == kAdpcmTrack ? 16 : t * 4 + record.channel;
    record.action = relative ? kActionVolumeRelative : kActionVolumeAbsolute;
    // In absolute mode only the channels given a value are reported.
    if (relative || settings.channelValue(entry) != -1) changes.add(record);
    ++walk.input;
    return true;
}

}  // namespace

Result reportChannelVolumeChanges(int version, const InputVolumes& input, VolumeFile& converted,
                                  const VolumeSettings& settings, ChangeSink changes) {
    if (version != kMfiVersion20) return Result::NotConverted;
    const std::size_t before = changes.count();
    // A relative change reports every volume event of the converted file,
    // one record each (fewer where a track's walk ends early).
    if (!settings.isAbsolute()) {
        std::size_t volumes = converted.positionsOf(0, EventKind::AdpcmVolume).size();
        for (int track = 0; track < kTrackCount; ++track)
            volumes += converted.positionsOf(track, EventKind::ChannelVolume).size();
        changes.reserve(volumes);
    }
    for (int track = 0; track < kTrackCount; ++track) {
        VolumeWalk walk{track};
        while (reportNextVolume(input, converted, settings, walk, changes)) {}
    }
    return changes.count() > before ? Result::Converted : Result::NotConverted;
}

namespace {

struct EffectBlocks {
    std::array<std::uint8_t, kEffectBufferSize> bytes{};
    int count = 0;
    const std::uint8_t* at(int block) const { return bytes.data() + block * kEffectBlockSize; }
    int level(int block) const { return at(block)[kEffectLevelByte]; }
};

bool reportEffectLevels(const InputVolumes& input, VolumeFile& converted, bool relative, ChangeSink& changes) {
    const int settings = converted.firstEffectSettings();
    if (settings < 0) return false;
    EffectBlocks before;
    EffectBlocks after;
    before.count = input.readEffectBlocks(settings, before.bytes.data(), kEffectBufferSize);
    after.count = converted.readEffectBlocks(settings, after.bytes.data(), kEffectBufferSize);
    if (before.count < kEffectBlockSize || before.count != after.count) return false;
    bool kept = false;
    for (int block = 0; block < after.count / kEffectBlockSize; ++block) {
        if (!isChorusLikeEffect(converted.eventAt(0, settings)->effectType(block)) ||
            before.level(block) == after.level(block))
            continue;
        VolumeChangeRecord record = newRecord(converted, 0, settings);
        record.beforeLevel = byteOf(before.level(block));
        record.afterLevel = byteOf(after.level(block));
        record.action = relative ? kActionEffectDepthRelative : kActionEffectDepthAbsolute;
        changes.add(record);
        kept = true;
    }
    return kept;
}

VolumeChangeRecord sendRecord(VolumeFile& converted, int track, int index, int before, int after, ActionCode action) {
    VolumeChangeRecord record = newRecord(converted, track, index);
    record.track = byteOf(track);
    record.channel = byteOf(converted.eventAt(track, index)->effectSendCode());
    record.beforeLevel = byteOf(before);
    record.afterLevel = byteOf(after);
    record.action = action;
    return record;
}

// Pairs the sends of one track: converted sends that have no input send at the
// same place (counting the ones inserted so far) are copies made by the
// regulation; the others are compared with their input send.
void reportTrackSends(const InputVolumes& input, VolumeFile& converted, int track, bool relative,
                      std::array<int, 32>& last, ChangeSink& changes) {
    int inserted = 0;
    int i0 = 0;
    int j = 0;
    VolumeFile::KindCursor convertedSends = converted.cursor(EventKind::EffectSend, track);
    for (;;) {
        j = convertedSends.next(j);
        if (j < 0) return;
        const InputVolumes::Send* inputSend = input.nextSend(track, i0);
        const int e = inputSend ? inputSend->index : -1;
        i0 = e;
        if (e < 0 || j < e + inserted) {
            const Event& send = *converted.eventAt(track, j);
            const int value = send.effectSendValue();
            if (value > 0) {
                const int code = send.effectSendCode();
                changes.add(sendRecord(converted, track, j, last[static_cast<std::size_t>((track * 4 + code) & 31)],
                                       value,
                                       relative ? kActionChorusBeforeNoteRelative : kActionChorusBeforeNoteAbsolute));
            }
            ++inserted;
            ++j;
        } else if (j == e + inserted) {
            const int a = inputSend->value;
            const int b = converted.eventAt(track, j)->effectSendValue();
            if (a > 0 && b > 0 && b != a)
                changes.add(sendRecord(converted, track, j, a, b,
                                       relative ? kActionChorusSendRelative : kActionChorusSendAbsolute));
            if (a >= 0) last[static_cast<std::size_t>((track * 4 + inputSend->code) & 31)] = a;
            ++i0;
            ++j;
        } else {
            ++j;  // cannot come from the regulation, which only inserts; move on
        }
    }
}

}  // namespace

void reportEffectChanges(int version, const InputVolumes& input, VolumeFile& converted, const VolumeSettings& settings,
                         ChangeSink changes) {
    if (version != kMfiVersion40 || !settings.regulateChorus) return;
    const bool relative = !settings.isAbsolute();
    if (!reportEffectLevels(input, converted, relative, changes)) return;
    std::array<int, 32> last{};
    for (int track = 0; track < kTrackCount; ++track)
        reportTrackSends(input, converted, track, relative, last, changes);
}

}  // namespace keldro::mfi
