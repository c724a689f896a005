#include "mfivolume/MfiVolumeFile.h"
#include "mfi/MfiBytes.h"

#include <algorithm>

namespace keldro {
namespace {

using namespace mfibytes;

constexpr std::uint8_t kChannelVolumeParam = 0xE2;

bool hasBlockOf(const MfiEvent* event, std::size_t size) { return event && event->extDataSize() == size; }

bool isKind(const MfiEvent* event, EventKind kind) { return event && event->classify() == kind; }

// Kinds a track sets itself up with at time 0, before anything sounds; a
// default volume goes right after them.
bool isSetUpKind(int kind) {
    if (kind >= 0 && kind <= 10) return true;
    if (kind >= 47 && kind <= 51) return true;
    if (kind >= 69 && kind <= 73) return true;
    switch (kind) {
        case 12: case 13: case 33: case 35: case 37: case 39: case 42: case 43: case 45: case 64: case 65:
            return true;
        default:
            return false;
    }
}

// Channel of a sounding event, by the group it is searched in.
int soundingChannel(const MfiEvent& event, int group) {
    switch (group) {
        case 0: return event.status() >> 6;
        case 3: return event.param1() >> 6;
        default: return event.extDataSize() >= 4 ? event.extData()[3] >> 6 : -1;
    }
}

constexpr std::array<EventKind, 4> kSoundingGroups = {KindNote, KindBlockF1Id03, KindBlockF1Id0C, KindStatus7F00};

}  // namespace

int parseMfiVolumeFile(MfiVolumeFile& file, ByteSpan bytes) { return file.parse(bytes); }

int MfiVolumeFile::parse(ByteSpan bytes) {
    const int readResult = read(bytes);
    if (readResult != 0) return readResult;
    return analyse();
}

int MfiVolumeFile::analyse() {
    invalidateIndexes();
    if (body().trackCount() == 0) return ErrFormat;
    masterVolumes_.clear();
    if (!isVersion20()) {
        maxGainValue_ = kMaxGainSteps;
        // The first MaxGain event, searched without the last-position rule.
        const std::vector<int>& gains = positionsOf(0, KindMaxGain);
        if (gains.empty()) return ErrNoMaxGain;
        const MfiEvent* gain = eventAt(0, gains.front());
        if (hasBlockOf(gain, 5)) {
            const std::uint8_t value = gain->extData()[4];
            maxGainValue_ = value <= kMaxGainSteps ? value : kMaxGainSteps;
        }
    }
    for (int i = nextMasterVolume(0); i >= 0; i = nextMasterVolume(i + 1))
        masterVolumes_.push_back({i, eventAt(0, i)->time()});
    return masterVolumes_.empty() ? ErrNoMasterVolume : 0;
}

int MfiVolumeFile::eventCount(int track) const {
    const MfiTrack* t = body().track(track);
    return t ? t->eventCount() : 0;
}

// --- Indexes ---

void MfiVolumeFile::invalidateIndexes() {
    for (TrackIndex& index : indexes_) {
        index.built = false;
        index.soundingBuilt = false;
    }
    cumulativeBuilt_.fill(false);
}

MfiVolumeFile::TrackIndex& MfiVolumeFile::indexOf(int track) {
    TrackIndex& index = indexes_[static_cast<std::size_t>(track)];
    const int count = eventCount(track);
    if (index.built && index.count == count) return index;
    index.built = true;
    index.soundingBuilt = false;
    index.count = count;
    index.kinds.resize(static_cast<std::size_t>(count));
    for (std::vector<int>& p : index.positions) p.clear();
    for (int i = 0; i < count; ++i) {
        const auto kind = static_cast<std::uint8_t>(eventAt(track, i)->classify());
        index.kinds[static_cast<std::size_t>(i)] = kind;
        index.positions[kind].push_back(i);
    }
    return index;
}

const std::vector<int>& MfiVolumeFile::positionsOf(int track, EventKind kind) {
    static const std::vector<int> kNone;
    if (track < 0 || track >= body().trackCount()) return kNone;
    return indexOf(track).positions[static_cast<std::size_t>(kind)];
}

void MfiVolumeFile::buildSounding(int track, TrackIndex& index) {
    const int count = index.count;
    for (std::size_t group = 0; group < kSoundingGroups.size(); ++group) {
        const auto kind = static_cast<std::uint8_t>(kSoundingGroups[group]);
        // A walk of this kind never reaches the last event when the event
        // before it is also a hit (or when it is the only event).
        const bool lastExcluded = count >= 1 && index.kinds[static_cast<std::size_t>(count - 1)] == kind &&
                                  (count == 1 || index.kinds[static_cast<std::size_t>(count - 2)] == kind);
        for (SoundingList& list : index.sounding[group]) {
            list = SoundingList{};
            list.lastExcluded = lastExcluded;
        }
        for (int i : index.positions[kind]) {
            const MfiEvent& event = *eventAt(track, i);
            const int channel = soundingChannel(event, static_cast<int>(group));
            if (channel < 0) continue;
            SoundingList& list = index.sounding[group][static_cast<std::size_t>(channel)];
            const std::int32_t before = list.maxTimeSoFar.empty() ? event.time() : list.maxTimeSoFar.back();
            list.index.push_back(i);
            list.maxTimeSoFar.push_back(std::max(before, event.time()));
        }
    }
    index.soundingBuilt = true;
}

const MfiVolumeFile::SoundingList& MfiVolumeFile::soundingList(int track, int group, int channel) {
    TrackIndex& index = indexOf(track);
    if (!index.soundingBuilt) buildSounding(track, index);
    return index.sounding[static_cast<std::size_t>(group)][static_cast<std::size_t>(channel)];
}

// --- Queries ---

int MfiVolumeFile::nextMasterVolume(int from) { return findFrom(KindMasterVolume, 0, from); }

int MfiVolumeFile::masterVolumeAt(int index) const {
    const MfiEvent* event = eventAt(0, index);
    if (!isKind(event, KindMasterVolume)) return -1;
    return std::min<int>(event->param2(), 127);
}

int MfiVolumeFile::lastMaxGainIndex() {
    int last = -1;
    for (int i = findFrom(KindMaxGain, 0, 0); i >= 0; i = findFrom(KindMaxGain, 0, i + 1)) last = i;
    return last;
}

int MfiVolumeFile::maxGainTickAt(int index) const {
    const MfiEvent* event = eventAt(0, index);
    return isKind(event, KindMaxGain) ? event->time() : -1;
}

int MfiVolumeFile::nextChannelVolumeOf(int track, int from, int channel) {
    return findFrom(KindChannelVolume, track, from,
                    [&](int i) { return (eventAt(track, i)->param2() >> 6) == channel; });
}

int MfiVolumeFile::firstNoteOf(int track, int from, int channel) {
    return findFrom(KindNote, track, from, [&](int i) { return (eventAt(track, i)->status() >> 6) == channel; });
}

int MfiVolumeFile::nextVolumeEvent(int track, int from) {
    const int channelVolume = findFrom(KindChannelVolume, track, from);
    if (track != 0) return channelVolume;
    const int adpcmVolume = findFrom(KindAdpcmVolume, 0, from);
    if (channelVolume < 0) return adpcmVolume;
    if (adpcmVolume < 0) return channelVolume;
    return std::min(channelVolume, adpcmVolume);
}

int MfiVolumeFile::channelVolumeAt(int track, int index) const {
    const MfiEvent* event = eventAt(track, index);
    return isKind(event, KindChannelVolume) ? (event->param2() & 0x3F) : -1;
}

int MfiVolumeFile::adpcmVolumeAt(int index) const {
    const MfiEvent* event = eventAt(0, index);
    if (!isKind(event, KindAdpcmVolume) || !hasBlockOf(event, 4)) return -1;
    return event->extData()[3] & 0x3F;
}

int MfiVolumeFile::nextAdpcmNote(int from) { return findFrom(KindAdpcmNote, 0, from); }

int MfiVolumeFile::nextAdpcmVolume(int from) { return findFrom(KindAdpcmVolume, 0, from); }

int MfiVolumeFile::firstSounding(int track, int from) {
    int first = -1;
    for (EventKind kind : kSoundingGroups) {
        const int hit = findFrom(kind, track, from);
        if (hit >= 0 && (first < 0 || hit < first)) first = hit;
    }
    return first;
}

int MfiVolumeFile::soundingTick(int track, int index) const {
    const MfiEvent* event = eventAt(track, index);
    if (!event) return -1;
    switch (event->classify()) {
        case KindNote: case KindBlockF1Id03: case KindBlockF1Id0C: case KindStatus7F00: case KindAdpcmNote:
            return event->time();
        default:
            return -1;
    }
}

int MfiVolumeFile::nextSoundingAfterTick(int track, int channel, bool aFlag, std::int32_t tick) {
    if (track < 0 || track >= body().trackCount() || channel < 0 || channel > 3) return -1;
    const int count = eventCount(track);
    int best = -1;
    auto consider = [&](int group) {
        const SoundingList& list = soundingList(track, group, channel);
        auto it = std::upper_bound(list.maxTimeSoFar.begin(), list.maxTimeSoFar.end(), tick);
        if (it == list.maxTimeSoFar.end()) return;
        const int hit = list.index[static_cast<std::size_t>(it - list.maxTimeSoFar.begin())];
        if (hit == count - 1 && list.lastExcluded) return;
        if (best < 0 || hit < best) best = hit;
    };
    if (aFlag) {
        consider(3);
    } else {
        for (int group = 0; group < 3; ++group) consider(group);
    }
    return best;
}

int MfiVolumeFile::eventChannel(int track, int index) const {
    const MfiEvent* event = eventAt(track, index);
    if (!event) return -1;
    if (event->status() == kStatusEscape) {
        if (event->byte1() == 0xF0 || event->byte1() == 0xFF) return -1;
        if (event->byte1() < 0x80) return (event->param1() >> 6) & 3;
        return (event->param2() >> 6) & 3;
    }
    if (event->status() == kStatusShort) {
        if (event->byte1() == 0xFF) return -1;
        return (event->param2() >> 6) & 3;
    }
    return event->status() >> 6;
}

int MfiVolumeFile::eventKindAt(int track, int index) const {
    const MfiEvent* event = eventAt(track, index);
    return event ? static_cast<int>(event->classify()) : -1;
}

int MfiVolumeFile::firstEffectSettings() { return findFrom(KindEffectSettings, 0, 0); }

int MfiVolumeFile::readEffectBlocks(int index, std::uint8_t* buffer, int capacity) const {
    const MfiEvent* event = eventAt(0, index);
    if (!event || event->extDataSize() <= 35) return -1;
    const int size = static_cast<int>(event->extDataSize());
    if (event->classify() != KindEffectSettings) return size;
    const int count = std::min(size - 4, std::max(capacity, 0));
    std::copy_n(event->extData().begin() + 4, count, buffer);
    return count;
}

int MfiVolumeFile::nextEffectSelect(int from, int group) {
    return findFrom(KindEffectSelect, 0, from, [&](int i) {
        const int selector = effectSelectorAt(i);
        if (group == 1) return selector >= 0 && selector < 32;
        if (group == 2) return selector >= 64 && selector <= 95;
        return false;
    });
}

int MfiVolumeFile::effectSelectorAt(int index) const {
    const MfiEvent* event = eventAt(0, index);
    return isKind(event, KindEffectSelect) && hasBlockOf(event, 5) ? event->extData()[4] : -1;
}

int MfiVolumeFile::effectSelectTick(int index) const {
    const MfiEvent* event = eventAt(0, index);
    return isKind(event, KindEffectSelect) ? event->time() : -1;
}

int MfiVolumeFile::nextEffectSend(int track, int from) { return findFrom(KindEffectSend, track, from); }

int MfiVolumeFile::nextEffectSendOf(int track, int from, int channel, bool aFlag) {
    const int code = effectSendCodeOf(channel, aFlag);
    return findFrom(KindEffectSend, track, from, [&](int i) { return effectSendCode(track, i) == code; });
}

int MfiVolumeFile::effectSendTick(int track, int index) const {
    const MfiEvent* event = eventAt(track, index);
    return isKind(event, KindEffectSend) ? event->time() : -1;
}

int MfiVolumeFile::effectSendCode(int track, int index) const {
    const MfiEvent* event = eventAt(track, index);
    if (!isKind(event, KindEffectSend) || !hasBlockOf(event, 5)) return -1;
    const std::uint8_t channelByte = event->extData()[3];
    return ((channelByte >> 5) & 1) * 16 + (channelByte >> 6);
}

int MfiVolumeFile::effectSendValue(int track, int index) const {
    const MfiEvent* event = eventAt(track, index);
    return isKind(event, KindEffectSend) && hasBlockOf(event, 5) ? event->extData()[4] : -1;
}

int MfiVolumeFile::nextTempo(int from) { return findFrom(KindTempo, 0, from); }

// --- Edits ---

int MfiVolumeFile::setMaxGain(int value) {
    const int index = findFrom(KindMaxGain, 0, 0);
    MfiEvent* event = body().event(index, 0);
    // The value lives in the fifth byte of the block; a shorter block has no
    // place for it.
    if (!event || event->extDataSize() < 5) return 0;
    const auto stored = static_cast<std::uint8_t>(value >= 128 ? 127 : value);
    event->mutableExtData()[4] = stored;
    maxGainValue_ = stored;
    return 1;
}

int MfiVolumeFile::setMasterVolume(int index, int value) {
    MfiEvent* event = body().event(index, 0);
    if (!isKind(event, KindMasterVolume)) return 0;
    event->setParam2(static_cast<std::uint8_t>(value >= 128 ? 127 : value));
    return 1;
}

int MfiVolumeFile::setChannelVolume(int track, int index, int value) {
    MfiEvent* event = body().event(index, track);
    if (!isKind(event, KindChannelVolume)) return 0;
    const int volume = std::clamp(value, 0, kMaxVolume);
    event->setParam2(static_cast<std::uint8_t>((event->param2() & 0xC0) | volume));
    return 1;
}

int MfiVolumeFile::setAdpcmVolume(int index, int value) {
    MfiEvent* event = body().event(index, 0);
    if (!isKind(event, KindAdpcmVolume) || !hasBlockOf(event, 4)) return 0;
    event->mutableExtData()[3] = static_cast<std::uint8_t>(std::clamp(value, 0, kMaxVolume));
    // In the long block form byte 3 is also the id: the event may now be of
    // another kind.
    if (event->classify() != KindAdpcmVolume) invalidateIndexes();
    return 1;
}

int MfiVolumeFile::writeEffectBlocks(int index, const std::uint8_t* bytes, int count) {
    MfiEvent* event = body().event(index, 0);
    if (!isKind(event, KindEffectSettings) || event->extDataSize() < 36 || !bytes) return 0;
    const int room = static_cast<int>(event->extDataSize()) - 4;
    std::copy_n(bytes, std::clamp(count, 0, room), event->mutableExtData().begin() + 4);
    return 1;
}

int MfiVolumeFile::setEffectSendValue(int track, int index, int value) {
    MfiEvent* event = body().event(index, track);
    if (!isKind(event, KindEffectSend) || !hasBlockOf(event, 5)) return 0;
    event->mutableExtData()[4] = static_cast<std::uint8_t>(value);
    return 1;
}

int MfiVolumeFile::insertDefaultVolume(int track, int noteIndex, int channel) {
    const MfiEvent* note = eventAt(track, noteIndex);
    if (!note) return 0;
    const EventKind noteKind = note->classify();
    if (noteKind != KindNote && noteKind != KindAdpcmNote) return 0;
    const int count = eventCount(track);
    int at = 0;
    while (at < count && eventAt(track, at)->time() == 0 && isSetUpKind(indexOf(track).kinds[static_cast<std::size_t>(at)]))
        ++at;
    if (at == count) return 0;

    MfiEvent volume;
    volume.setStatus(kStatusShort);
    if (noteKind == KindAdpcmNote) {
        const std::uint8_t adpcmVolume[] = {kBlockLead, 0xF2, 0x01, static_cast<std::uint8_t>(kAssumedVolume)};
        volume.setByte1(kBlockMark);
        volume.setExtMark(kBlockMark);
        volume.appendExtData(ByteSpan(adpcmVolume));
    } else {
        volume.setByte1(kChannelVolumeParam);
        volume.setParams(kChannelVolumeParam, static_cast<std::uint8_t>(channel * 64 + kAssumedVolume));
    }
    body().insertEvent(track, at, volume);
    invalidateIndexes();
    return 1;
}

MfiEvent MfiVolumeFile::makeEffectSend(std::int32_t time, int channel, bool aFlag, int value) {
    MfiEvent send;
    send.setTime(time);
    send.setStatus(kStatusShort);
    send.setByte1(kBlockMark);
    send.setExtMark(kBlockMark);
    const std::uint8_t block[] = {kBlockLead, 0x02, 0xF1, static_cast<std::uint8_t>(channel * 64 + (aFlag ? 0x2F : 0x0F)),
                                  static_cast<std::uint8_t>(value)};
    send.appendExtData(ByteSpan(block));
    return send;
}

int MfiVolumeFile::insertEffectSend(int track, int index, int channel, bool aFlag, int value) {
    const MfiEvent* anchor = eventAt(track, index);
    if (!anchor) return 0;
    body().insertEvent(track, index, makeEffectSend(anchor->time(), channel, aFlag, value));
    invalidateIndexes();
    return 1;
}

void MfiVolumeFile::replaceTrackEvents(int track, std::vector<MfiEvent> events) {
    MfiTrack* t = body().track(track);
    if (!t) return;
    t->clear();
    t->reserve(events.size());
    for (MfiEvent& event : events) t->appendEvent(std::move(event));
    invalidateIndexes();
}

}  // namespace keldro
