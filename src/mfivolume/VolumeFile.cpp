#include "mfivolume/VolumeFile.h"

#include <algorithm>

namespace keldro::mfi {
namespace {

// Kinds a track sets itself up with at time 0, before anything sounds; a
// default volume goes right after them.
bool isSetUpKind(EventKind kind) {
    switch (kind) {
        case EventKind::MasterVolume:
        case EventKind::ChannelVolume:
        case EventKind::Tempo:
        case EventKind::MaxGain:
        case EventKind::AdpcmVolume:
        case EventKind::ShortBA:
        case EventKind::ShortD0Zero:
        case EventKind::ShortDD:
        case EventKind::ShortE0:
        case EventKind::ShortE1:
        case EventKind::BlockF0Id01:
        case EventKind::BlockF0Id02:
        case EventKind::BlockF0Id03:
        case EventKind::BlockF0Id04:
        case EventKind::BlockF0Id05:
        case EventKind::BlockF0Id06:
        case EventKind::BlockF0Id07:
        case EventKind::BlockF0Id08:
        case EventKind::BlockF0Id0A:
        case EventKind::BlockF0Id0B:
        case EventKind::BlockF0Id0C:
        case EventKind::BlockF2Id04:
        case EventKind::BlockF2Id05:
        case EventKind::BlockF2Id06:
        case EventKind::BlockF2Id07:
        case EventKind::BlockF3Id01:
        case EventKind::BlockF3Id04:
        case EventKind::BlockF3Id07:
        case EventKind::BlockF3Id09:
        case EventKind::BlockF3Id0A:
            return true;
        default:
            return false;
    }
}

// The kinds that start a sound on a channel, each searched on its own: a
// note, the two sounding blocks of class 0xF1, and the escape event that
// sounds on an "A" channel. An ADPCM note plays audio data, not a channel,
// and is not among them.
constexpr std::array<EventKind, 4> kSoundingKinds = {EventKind::Note, EventKind::BlockF1Id03, EventKind::BlockF1Id0C,
                                                     EventKind::Escape00};
constexpr std::size_t kAChannelSounding = 3;  // the group of Escape00, which sounds on "A" channels

}  // namespace

Result VolumeFile::parse(ByteSpan bytes) {
    if (const Result read = File::read(bytes); !ok(read)) return read;
    return analyse();
}

Result VolumeFile::analyse() {
    invalidateIndexes();
    return analyseAgain();
}

Result VolumeFile::analyseAgain() {
    // What a fresh read starts from.
    maxGainValue_ = kMaxGainSteps;
    if (body().trackCount() == 0) return Result::NoMfiFile;
    if (!isVersion20()) {
        // The first MaxGain event, searched without the last-position rule.
        const std::vector<int>& gains = positionsOf(0, EventKind::MaxGain);
        if (gains.empty()) return Result::MfiNoMaxGain;
        const int value = eventAt(0, gains.front())->maxGain();
        if (value >= 0) maxGainValue_ = static_cast<std::uint8_t>(std::min(value, kMaxGainSteps));
    }
    return nextMasterVolume(0) < 0 ? Result::MfiNoMasterVolume : Result::Converted;
}

bool VolumeFile::isSoundingKind(EventKind kind) {
    return std::find(kSoundingKinds.begin(), kSoundingKinds.end(), kind) != kSoundingKinds.end();
}

// --- Indexes ---

void VolumeFile::invalidateIndexes() {
    for (int track = 0; track < Body::kMaxTracks; ++track) invalidateTrack(track);
}

void VolumeFile::invalidateTrack(int track) {
    TrackIndex& index = indexes_[static_cast<std::size_t>(track)];
    index.built = false;
    index.soundingBuilt = false;
    // Times of tracks 1-3 go by the tempo events of track 0.
    if (track == 0)
        cumulativeBuilt_.fill(false);
    else
        cumulativeBuilt_[static_cast<std::size_t>(track)] = false;
}

VolumeFile::TrackIndex& VolumeFile::indexOf(int track) {
    TrackIndex& index = indexes_[static_cast<std::size_t>(track)];
    const int count = eventCount(track);
    if (index.built && index.count == count) return index;
    index.built = true;
    index.soundingBuilt = false;
    index.count = count;
    index.kinds.resize(static_cast<std::size_t>(count));
    // Kinds first, counted, so that every position list is sized once.
    std::array<std::size_t, kEventKindCount> perKind{};
    const std::vector<Event>& events = body().track(track)->events();
    for (std::size_t i = 0; i < events.size(); ++i) {
        const EventKind kind = events[i].kind();
        index.kinds[i] = kind;
        ++perKind[kindIndex(kind)];
    }
    for (std::size_t k = 0; k < kEventKindCount; ++k) {
        index.positions[k].clear();
        index.positions[k].reserve(perKind[k]);
    }
    for (int i = 0; i < count; ++i) index.positions[kindIndex(index.kinds[static_cast<std::size_t>(i)])].push_back(i);
    return index;
}

const std::vector<int>& VolumeFile::positionsOf(int track, EventKind kind) {
    static const std::vector<int> kNone;
    if (track < 0 || track >= body().trackCount()) return kNone;
    return indexOf(track).positions[kindIndex(kind)];
}

void VolumeFile::buildSounding(int track, TrackIndex& index) {
    const int count = index.count;
    for (std::size_t group = 0; group < kSoundingKinds.size(); ++group) {
        const EventKind kind = kSoundingKinds[group];
        // A walk of this kind never reaches the last event when the event
        // before it is also a hit (or when it is the only event).
        const bool lastExcluded = count >= 1 && index.kinds[static_cast<std::size_t>(count - 1)] == kind &&
                                  (count == 1 || index.kinds[static_cast<std::size_t>(count - 2)] == kind);
        for (SoundingList& list : index.sounding[group]) {
            list = SoundingList{};
            list.lastExcluded = lastExcluded;
        }
        for (int i : index.positions[kindIndex(kind)]) {
            const Event& event = *eventAt(track, i);
            const int channel = event.channel();
            SoundingList& list = index.sounding[group][static_cast<std::size_t>(channel)];
            const std::int32_t before = list.maxTimeSoFar.empty() ? event.time() : list.maxTimeSoFar.back();
            list.index.push_back(i);
            list.maxTimeSoFar.push_back(std::max(before, event.time()));
        }
    }
    index.soundingBuilt = true;
}

const VolumeFile::SoundingList& VolumeFile::soundingList(int track, std::size_t group, int channel) {
    TrackIndex& index = indexOf(track);
    if (!index.soundingBuilt) buildSounding(track, index);
    return index.sounding[group][static_cast<std::size_t>(channel)];
}

// --- Queries ---

int VolumeFile::nextMasterVolume(int from) { return findFrom(EventKind::MasterVolume, 0, from); }

int VolumeFile::lastMaxGainIndex() {
    int last = -1;
    for (int i = findFrom(EventKind::MaxGain, 0, 0); i >= 0; i = findFrom(EventKind::MaxGain, 0, i + 1)) last = i;
    return last;
}

int VolumeFile::nextChannelVolumeOf(int track, int from, int channel) {
    return findFrom(EventKind::ChannelVolume, track, from, [&](int i) { return eventAt(track, i)->channel() == channel; });
}

int VolumeFile::firstNoteOf(int track, int from, int channel) {
    return findFrom(EventKind::Note, track, from, [&](int i) { return eventAt(track, i)->channel() == channel; });
}

int VolumeFile::nextVolumeEvent(int track, int from) {
    const int channelVolume = findFrom(EventKind::ChannelVolume, track, from);
    if (track != 0) return channelVolume;
    const int adpcmVolume = findFrom(EventKind::AdpcmVolume, 0, from);
    if (channelVolume < 0) return adpcmVolume;
    if (adpcmVolume < 0) return channelVolume;
    return std::min(channelVolume, adpcmVolume);
}

int VolumeFile::nextAdpcmNote(int from) { return findFrom(EventKind::AdpcmNote, 0, from); }

int VolumeFile::nextAdpcmVolume(int from) { return findFrom(EventKind::AdpcmVolume, 0, from); }

int VolumeFile::firstSounding(int track, int from) {
    int first = -1;
    for (EventKind kind : kSoundingKinds) {
        const int hit = findFrom(kind, track, from);
        if (hit >= 0 && (first < 0 || hit < first)) first = hit;
    }
    return first;
}

int VolumeFile::nextSoundingAfterTick(int track, int channel, bool onAChannel, std::int32_t tick) {
    if (track < 0 || track >= body().trackCount() || channel < 0 || channel > 3) return -1;
    const int count = eventCount(track);
    int best = -1;
    auto consider = [&](std::size_t group) {
        const SoundingList& list = soundingList(track, group, channel);
        auto it = std::upper_bound(list.maxTimeSoFar.begin(), list.maxTimeSoFar.end(), tick);
        if (it == list.maxTimeSoFar.end()) return;
        const int hit = list.index[static_cast<std::size_t>(it - list.maxTimeSoFar.begin())];
        if (hit == count - 1 && list.lastExcluded) return;
        if (best < 0 || hit < best) best = hit;
    };
    if (onAChannel) {
        consider(kAChannelSounding);
    } else {
        for (std::size_t group = 0; group < kSoundingKinds.size(); ++group)
            if (group != kAChannelSounding) consider(group);
    }
    return best;
}

namespace {

// The first position from `at` on whose value passes `tick`, in a list that
// never goes down: steps of 1, 2, 4, ... find a stretch that holds it, then a
// binary search inside it. The ticks a cursor is asked about lie many hits
// apart, so this costs the logarithm of the distance moved.
std::size_t gallopPast(const std::vector<std::int32_t>& values, std::size_t at, std::int32_t tick) {
    std::size_t step = 1;
    std::size_t low = at;
    std::size_t high = at;
    while (high < values.size() && values[high] <= tick) {
        low = high + 1;
        high += step;
        step *= 2;
    }
    high = std::min(high, values.size());
    return static_cast<std::size_t>(
        std::upper_bound(values.begin() + static_cast<std::ptrdiff_t>(low), values.begin() + static_cast<std::ptrdiff_t>(high), tick) -
        values.begin());
}

}  // namespace

VolumeFile::SoundingCursor::SoundingCursor(VolumeFile& file, int track, int channel, bool onAChannel)
    : file_(&file), track_(track), channel_(channel), onAChannel_(onAChannel) {}

int VolumeFile::SoundingCursor::next(std::int32_t tick) {
    VolumeFile& file = *file_;
    if (track_ < 0 || track_ >= file.body().trackCount() || channel_ < 0 || channel_ > 3) return -1;
    if (tick < lastTick_) at_.fill(0);
    lastTick_ = tick;
    const int count = file.eventCount(track_);
    int best = -1;
    // As nextSoundingAfterTick: the first hit whose prefix maximum of times
    // passes the tick, which only moves forward as the tick grows.
    auto consider = [&](std::size_t group) {
        const SoundingList& list = file.soundingList(track_, group, channel_);
        std::size_t& at = at_[group];
        at = gallopPast(list.maxTimeSoFar, at, tick);
        if (at == list.maxTimeSoFar.size()) return;
        const int hit = list.index[at];
        if (hit == count - 1 && list.lastExcluded) return;
        if (best < 0 || hit < best) best = hit;
    };
    if (onAChannel_) {
        consider(kAChannelSounding);
    } else {
        for (std::size_t group = 0; group < kSoundingKinds.size(); ++group)
            if (group != kAChannelSounding) consider(group);
    }
    return best;
}

int VolumeFile::KindCursor::next(int from) {
    if (from < 0 || from >= count_ - 1) return -1;
    const std::vector<int>& hits = *hits_;
    if (at_ > 0 && hits[at_ - 1] >= from) at_ = 0;
    while (at_ < hits.size() && hits[at_] < from) ++at_;
    return at_ < hits.size() ? hits[at_] : -1;
}

int VolumeFile::firstEffectSettings() { return findFrom(EventKind::EffectSettings, 0, 0); }

int VolumeFile::readEffectBlocks(int index, std::uint8_t* buffer, int capacity) const {
    const Event* event = eventAt(0, index);
    if (!event || event->extDataSize() <= 35) return -1;
    const int size = static_cast<int>(event->extDataSize());
    if (!event->isEffectSettings()) return size;
    const int count = std::min(size - 4, std::max(capacity, 0));
    std::copy_n(event->extData().begin() + 4, count, buffer);
    return count;
}

int VolumeFile::nextEffectSelect(int from, int group) {
    return findFrom(EventKind::EffectSelect, 0, from, [&](int i) {
        const int selector = eventAt(0, i)->effectSelector();
        if (group == 1) return selector >= 0 && selector < 32;
        if (group == 2) return selector >= 64 && selector <= 95;
        return false;
    });
}

int VolumeFile::nextEffectSend(int track, int from) { return findFrom(EventKind::EffectSend, track, from); }

int VolumeFile::nextEffectSendOf(int track, int from, int channel, bool onAChannel) {
    const int code = Event::effectSendCodeOf(channel, onAChannel);
    return findFrom(EventKind::EffectSend, track, from, [&](int i) { return eventAt(track, i)->effectSendCode() == code; });
}

int VolumeFile::nextTempo(int from) { return findFrom(EventKind::Tempo, 0, from); }

// --- Edits ---

int VolumeFile::setMaxGain(int value) {
    const int index = findFrom(EventKind::MaxGain, 0, 0);
    Event* event = body().event(index, 0);
    // The value lives in the fifth byte of the block; a shorter block has no
    // place for it.
    if (!event || event->extDataSize() < 5) return 0;
    const auto stored = static_cast<std::uint8_t>(value >= 128 ? 127 : value);
    event->mutableExtData()[4] = stored;
    maxGainValue_ = stored;
    return 1;
}

int VolumeFile::setMasterVolume(int index, int value) {
    Event* event = body().event(index, 0);
    if (!event || !event->isMasterVolume()) return 0;
    event->setParam2(static_cast<std::uint8_t>(value >= 128 ? 127 : value));
    return 1;
}

int VolumeFile::setChannelVolume(int track, int index, int value) {
    Event* event = body().event(index, track);
    if (!event || !event->isChannelVolume()) return 0;
    const int volume = std::clamp(value, 0, kMaxVolume);
    event->setParam2(static_cast<std::uint8_t>((event->param2() & 0xC0) | volume));
    return 1;
}

int VolumeFile::setAdpcmVolume(int index, int value) {
    Event* event = body().event(index, 0);
    if (!event || event->adpcmVolume() < 0) return 0;
    event->mutableExtData()[3] = static_cast<std::uint8_t>(std::clamp(value, 0, kMaxVolume));
    // In the long block form byte 3 is also the id: the event may now be of
    // another kind.
    if (!event->isAdpcmVolume()) invalidateTrack(0);
    return 1;
}

int VolumeFile::writeEffectBlocks(int index, const std::uint8_t* bytes, int count) {
    Event* event = body().event(index, 0);
    if (!event || !event->isEffectSettings() || event->extDataSize() < 36 || !bytes) return 0;
    const int room = static_cast<int>(event->extDataSize()) - 4;
    std::copy_n(bytes, std::clamp(count, 0, room), event->mutableExtData().begin() + 4);
    return 1;
}

int VolumeFile::setEffectSendValue(int track, int index, int value) {
    Event* event = body().event(index, track);
    if (!event || event->effectSendValue() < 0) return 0;
    event->mutableExtData()[4] = static_cast<std::uint8_t>(value);
    return 1;
}

int VolumeFile::insertDefaultVolume(int track, int noteIndex, int channel) {
    const Event* note = eventAt(track, noteIndex);
    if (!note) return 0;
    if (!note->isNote() && !note->isAdpcmNote()) return 0;
    const int count = eventCount(track);
    int at = 0;
    while (at < count && eventAt(track, at)->time() == 0 && isSetUpKind(indexOf(track).kinds[static_cast<std::size_t>(at)]))
        ++at;
    if (at == count) return 0;

    const Event volume = note->isAdpcmNote() ? Event::makeAdpcmVolume(0, kAssumedVolume)
                                                : Event::makeChannelVolume(0, channel, kAssumedVolume);
    body().insertEvent(track, at, volume);
    invalidateTrack(track);
    return 1;
}

int VolumeFile::insertEffectSend(int track, int index, int channel, bool onAChannel, int value) {
    const Event* anchor = eventAt(track, index);
    if (!anchor) return 0;
    body().insertEvent(track, index, Event::makeEffectSend(anchor->time(), channel, onAChannel, value));
    invalidateTrack(track);
    return 1;
}

void VolumeFile::replaceTrackEvents(int track, std::vector<Event> events) {
    Track* t = body().track(track);
    if (!t) return;
    t->replaceEvents(std::move(events));
    invalidateTrack(track);
}

}  // namespace keldro::mfi
