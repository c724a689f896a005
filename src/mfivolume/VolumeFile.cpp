#include "mfivolume/VolumeFile.h"

#include <algorithm>
#include <bit>
#include <cstring>

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
        case EventKind::BlockF3Id0A: return true;
        default: return false;
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
        const std::span<const int> gains = positionsOf(0, EventKind::MaxGain);
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
    dropListsOf(index);
    // Times of tracks 1-3 go by the tempo events of track 0.
    if (track == 0)
        for (TrackTimes& times : times_) times.built = false;
    else
        times_[static_cast<std::size_t>(track)].built = false;
}

namespace {

// A list longer than this gives its memory back when it goes stale (a list of
// a track's notes takes four bytes per note, and the next use may want other
// lists); a shorter one keeps it for the next build, which a small file makes
// many times over.
constexpr std::size_t kKeptListCapacity = 4096;

// A list marked stale is made again from empty; only a long one's memory goes.
template <typename T>
void dropList(std::vector<T>& list) {
    if (list.capacity() > kKeptListCapacity) std::vector<T>().swap(list);
}

}  // namespace

void VolumeFile::dropSearchLists() {
    // Short lists stand: they cost little to keep and something to make again.
    for (TrackIndex& index : indexes_) {
        for (std::size_t k = 0; k < kEventKindCount; ++k)
            if (index.positions[k].capacity() > kKeptListCapacity) {
                index.positionsBuilt[k] = false;
                dropList(index.positions[k]);
            }
        if (index.soundingIndex.capacity() > kKeptListCapacity) {
            index.soundingBuilt = false;
            dropList(index.soundingIndex);
            dropList(index.soundingTime);
            dropList(index.soundingMaxTime);
        }
    }
}

void VolumeFile::dropListsOf(TrackIndex& index) {
    index.positionsBuilt.fill(false);
    for (std::vector<int>& positions : index.positions) dropList(positions);
    index.soundingBuilt = false;
    dropList(index.soundingIndex);
    dropList(index.soundingTime);
    dropList(index.soundingMaxTime);
}

VolumeFile::TrackIndex& VolumeFile::indexOf(int track) {
    TrackIndex& index = indexes_[static_cast<std::size_t>(track)];
    const int count = eventCount(track);
    if (index.built && index.count == count) return index;
    index.built = true;
    index.count = count;
    dropListsOf(index);
    // With the same room for inserts as a read track.
    const auto kinds = static_cast<std::size_t>(count);
    if (index.kinds.capacity() < kinds) index.kinds.reserve(kinds + Track::kRoomForInserts);
    index.kinds.resize(kinds);
    const std::vector<Event>& events = body().track(track)->events();
    for (std::size_t i = 0; i < events.size(); ++i) index.kinds[i] = events[i].kind();
    return index;
}

namespace {

void prefetch(const void* address) {
#if defined(__GNUC__) || defined(__clang__)
    __builtin_prefetch(address);
#else
    (void)address;
#endif
}

// The positions in `kinds` that hold `kind`, eight kinds a step: a word of
// kinds XORed with the kind repeated has a zero byte at every match. Counted
// first, so that the list is allocated once.
constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;

// 0x80 in exactly the bytes of the eight kinds at `at` that are `kind`.
std::uint64_t matchesAt(std::span<const EventKind> kinds, std::size_t at, std::uint64_t pattern) {
    std::uint64_t word = 0;
    std::memcpy(&word, kinds.data() + at, 8);
    const std::uint64_t x = word ^ pattern;
    return ~(((x & kLow7) + kLow7) | x | kLow7);
}

void collectPositions(std::span<const EventKind> kinds, EventKind kind, std::vector<int>& out) {
    out.clear();
    const std::size_t words = std::endian::native == std::endian::little ? kinds.size() / 8 : 0;
    const std::uint64_t pattern = 0x0101010101010101ull * static_cast<std::uint8_t>(kind);
    std::size_t count = 0;
    // One bit per match moved to the bottom of its byte; the multiply sums the bytes into the top one.
    for (std::size_t w = 0; w < words; ++w)
        count += static_cast<std::size_t>(((matchesAt(kinds, w * 8, pattern) >> 7) * 0x0101010101010101ull) >> 56);
    for (std::size_t i = words * 8; i < kinds.size(); ++i) count += kinds[i] == kind ? 1 : 0;
    out.reserve(count);
    for (std::size_t w = 0; w < words; ++w)
        for (std::uint64_t hits = matchesAt(kinds, w * 8, pattern); hits != 0; hits &= hits - 1)
            out.push_back(static_cast<int>(w * 8 + static_cast<std::size_t>(std::countr_zero(hits)) / 8));
    for (std::size_t i = words * 8; i < kinds.size(); ++i)
        if (kinds[i] == kind) out.push_back(static_cast<int>(i));
}

}  // namespace

std::span<const int> VolumeFile::positionsOf(int track, EventKind kind) {
    if (track < 0 || track >= body().trackCount()) return {};
    TrackIndex& index = indexOf(track);
    const std::size_t k = kindIndex(kind);
    if (!index.positionsBuilt[k]) {
        collectPositions(index.kinds, kind, index.positions[k]);
        index.positionsBuilt[k] = true;
    }
    return index.positions[k];
}

void VolumeFile::buildSounding(int track, TrackIndex& index) {
    const std::vector<Event>& events = body().track(track)->events();
    // A counting sort by list (sounding kind * 4 + channel): every hit's list
    // noted and the lists counted in one walk over the hits, then each hit
    // placed in its list's stretch of one array with its time.
    std::size_t total = 0;
    for (const EventKind kind : kSoundingKinds) total += positionsOf(track, kind).size();
    // Working storage of the build only: it goes when the lists stand.
    std::vector<std::uint8_t> listOfHit;
    listOfHit.reserve(total);
    std::array<std::uint32_t, kSoundingLists + 1> start{};
    // Times that never go down in track order make each list's prefix
    // maximum its times themselves, with no list of its own.
    bool timesRise = true;
    for (std::size_t group = 0; group < kSoundingKinds.size(); ++group) {
        const EventKind kind = kSoundingKinds[group];
        index.lastExcluded[group] = lastSoundingExcluded(index, group);
        std::int32_t previous = INT32_MIN;
        for (int i : positionsOf(track, kind)) {
            const Event& event = events[static_cast<std::size_t>(i)];
            const std::size_t list = group * 4 + static_cast<std::size_t>(event.channel());
            listOfHit.push_back(static_cast<std::uint8_t>(list));
            ++start[list + 1];
            timesRise = timesRise && event.time() >= previous;
            previous = event.time();
        }
    }
    for (std::size_t list = 0; list < kSoundingLists; ++list) start[list + 1] += start[list];
    index.soundingStart = start;
    resizeWithoutSlack(index.soundingIndex, total);
    resizeWithoutSlack(index.soundingTime, total);
    if (timesRise)
        std::vector<std::int32_t>().swap(index.soundingMaxTime);
    else
        resizeWithoutSlack(index.soundingMaxTime, total);
    std::size_t hit = 0;
    for (const EventKind kind : kSoundingKinds) {
        for (int i : positionsOf(track, kind)) {
            const std::size_t list = listOfHit[hit++];
            const std::int32_t time = events[static_cast<std::size_t>(i)].time();
            const std::uint32_t at = start[list]++;
            index.soundingIndex[at] = i;
            index.soundingTime[at] = time;
            if (!timesRise)
                index.soundingMaxTime[at] =
                    at == index.soundingStart[list] ? time : std::max(index.soundingMaxTime[at - 1], time);
        }
    }
    index.soundingBuilt = true;
    // The positions of the sounding kinds have served (the lists hold them
    // again); a search that wants them makes them anew.
    for (const EventKind kind : kSoundingKinds) {
        index.positionsBuilt[kindIndex(kind)] = false;
        dropList(index.positions[kindIndex(kind)]);
    }
}

bool VolumeFile::lastSoundingExcluded(const TrackIndex& index, std::size_t group) {
    // A walk of a kind never reaches the last event when the event before it
    // is also a hit (or when it is the only event).
    const int count = index.count;
    const EventKind kind = kSoundingKinds[group];
    return count >= 1 && index.kinds[static_cast<std::size_t>(count - 1)] == kind &&
           (count == 1 || index.kinds[static_cast<std::size_t>(count - 2)] == kind);
}

VolumeFile::SoundingList VolumeFile::soundingList(int track, std::size_t group, int channel) {
    TrackIndex& index = indexOf(track);
    if (!index.soundingBuilt) buildSounding(track, index);
    const std::size_t list = group * 4 + static_cast<std::size_t>(channel);
    const std::size_t from = index.soundingStart[list];
    const std::size_t size = index.soundingStart[list + 1] - from;
    return SoundingList{
        std::span<const int>(index.soundingIndex).subspan(from, size),
        std::span<const std::int32_t>(index.soundingTime).subspan(from, size),
        std::span<const std::int32_t>(index.soundingMaxTime.empty() ? index.soundingTime : index.soundingMaxTime)
            .subspan(from, size),
        index.lastExcluded[group]};
}

// --- Queries ---

int VolumeFile::nextMasterVolume(int from) { return findFrom(EventKind::MasterVolume, 0, from); }

int VolumeFile::lastMaxGainIndex() {
    int last = -1;
    for (int i = findFrom(EventKind::MaxGain, 0, 0); i >= 0; i = findFrom(EventKind::MaxGain, 0, i + 1)) last = i;
    return last;
}

int VolumeFile::nextChannelVolumeOf(int track, int from, int channel) {
    return findFrom(EventKind::ChannelVolume, track, from,
                    [&](int i) { return eventAt(track, i)->channel() == channel; });
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
        const SoundingList list = soundingList(track, group, channel);
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
std::size_t gallopPast(std::span<const std::int32_t> values, std::size_t at, std::int32_t tick) {
    std::size_t step = 1;
    std::size_t low = at;
    std::size_t high = at;
    while (high < values.size() && values[high] <= tick) {
        low = high + 1;
        high += step;
        step *= 2;
    }
    high = std::min(high, values.size());
    return static_cast<std::size_t>(std::upper_bound(values.begin() + static_cast<std::ptrdiff_t>(low),
                                                     values.begin() + static_cast<std::ptrdiff_t>(high), tick) -
                                    values.begin());
}

}  // namespace

VolumeFile::SoundingCursor::SoundingCursor(VolumeFile& file, int track, int channel, bool onAChannel) {
    if (track < 0 || track >= file.body().trackCount() || channel < 0 || channel > 3) return;
    count_ = file.eventCount(track);
    for (std::size_t group = 0; group < kSoundingKinds.size(); ++group)
        if ((group == kAChannelSounding) == onAChannel) lists_[group] = file.soundingList(track, group, channel);
}

int VolumeFile::SoundingCursor::next(std::int32_t tick) {
    if (tick < lastTick_) at_.fill(0);
    lastTick_ = tick;
    int best = -1;
    // As nextSoundingAfterTick: the first hit whose prefix maximum of times
    // passes the tick, which only moves forward as the tick grows.
    for (std::size_t group = 0; group < kSoundingKinds.size(); ++group) {
        const SoundingList& list = lists_[group];
        std::size_t& at = at_[group];
        at = gallopPast(list.maxTimeSoFar, at, tick);
        if (at == list.maxTimeSoFar.size()) continue;
        const int hit = list.index[at];
        if (hit == count_ - 1 && list.lastExcluded) continue;
        if (best < 0 || hit < best) {
            best = hit;
            hitTime_ = list.time[at];
        }
    }
    return best;
}

int VolumeFile::KindCursor::next(int from) {
    if (from < 0 || from >= count_ - 1) return -1;
    const std::span<const int> hits = hits_;
    if (at_ > 0 && hits[at_ - 1] >= from) at_ = 0;
    while (at_ < hits.size() && hits[at_] < from) ++at_;
    if (at_ >= hits.size()) return -1;
    // Hits lie far apart in a long track; asking for the ones a few steps
    // ahead keeps the walk from waiting on memory at every hit.
    constexpr std::size_t kAhead = 8;
    if (at_ + kAhead < hits.size()) prefetch(events_ + hits[at_ + kAhead]);
    return hits[at_];
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
    return findFrom(EventKind::EffectSend, track, from,
                    [&](int i) { return eventAt(track, i)->effectSendCode() == code; });
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

int VolumeFile::setUpEnd(int track) {
    const int count = eventCount(track);
    int at = 0;
    while (at < count && eventAt(track, at)->time() == 0 &&
           isSetUpKind(indexOf(track).kinds[static_cast<std::size_t>(at)]))
        ++at;
    return at == count ? -1 : at;
}

int VolumeFile::insertDefaultVolume(int track, int noteIndex, int channel) {
    const Event* note = eventAt(track, noteIndex);
    if (!note) return 0;
    if (!note->isNote() && !note->isAdpcmNote()) return 0;
    const int at = setUpEnd(track);
    if (at < 0) return 0;

    const Event volume = note->isAdpcmNote() ? Event::makeAdpcmVolume(0, kAssumedVolume)
                                             : Event::makeChannelVolume(0, channel, kAssumedVolume);
    body().insertEvent(track, at, volume);
    invalidateTrack(track);
    checkInsertedAt(track, at);
    return 1;
}

int VolumeFile::insertDefaultVolumes(int track, std::span<const int> channels) {
    if (channels.empty()) return 0;
    const int at = setUpEnd(track);
    if (at < 0) return 0;
    // A default volume is a set-up event at time 0, so the next one goes
    // right after it: all of them stand in a row at `at`.
    std::vector<Event> volumes;
    volumes.reserve(channels.size());
    for (const int channel : channels) volumes.push_back(Event::makeChannelVolume(0, channel, kAssumedVolume));
    const std::vector<int> before(channels.size(), at);
    insertEvents(track, before, std::move(volumes));
    return static_cast<int>(channels.size());
}

int VolumeFile::insertEffectSend(int track, int index, int channel, bool onAChannel, int value) {
    const Event* anchor = eventAt(track, index);
    if (!anchor) return 0;
    body().insertEvent(track, index, Event::makeEffectSend(anchor->time(), channel, onAChannel, value));
    invalidateTrack(track);
    checkInsertedAt(track, index);
    return 1;
}

void VolumeFile::insertEvents(int track, std::span<const int> before, std::vector<Event> inserted) {
    Track* t = body().track(track);
    if (!t || before.size() != inserted.size() || inserted.empty()) return;
    TrackIndex& index = indexes_[static_cast<std::size_t>(track)];
    const bool kindsStand = index.built && index.count == t->eventCount();
    // Merged in place, from the back: the list grows once (within the room the
    // reader left, mostly) and every event moves at most once, so the track
    // is never held twice.
    std::vector<Event> events = t->takeEvents();
    const std::size_t count = events.size();
    resizeWithoutSlack(events, count + inserted.size());
    if (kindsStand) resizeWithoutSlack(index.kinds, events.size());
    // Where inserted[k] lands: after the events before its own (and before
    // any earlier one's; a place past the end is the end) and after the ones
    // inserted before it.
    std::vector<std::size_t> places(inserted.size());
    std::size_t reached = 0;
    for (std::size_t k = 0; k < inserted.size(); ++k) {
        reached = std::max(reached, std::min(static_cast<std::size_t>(before[k]), count));
        places[k] = reached + k;
    }
    std::size_t from = count;
    std::size_t to = events.size();
    for (std::size_t k = inserted.size(); k-- > 0;) {
        const std::size_t place = places[k];
        while (to > place + 1) {
            --to;
            --from;
            events[to] = std::move(events[from]);
            if (kindsStand) index.kinds[to] = index.kinds[from];
        }
        --to;
        if (kindsStand) index.kinds[to] = inserted[k].kind();
        events[to] = std::move(inserted[k]);
    }
    t->replaceEvents(std::move(events));
    invalidateTrack(track);
    if (kindsStand) {
        index.count = t->eventCount();
        index.built = true;
    }
    for (const std::size_t place : places) checkInsertedAt(track, static_cast<int>(place));
}

void VolumeFile::checkInsertedAt(int track, int at) {
    for (const int i : {at, at + 1}) {
        const Event* event = eventAt(track, i);
        if (!event) continue;
        const std::int32_t previous = i == 0 ? 0 : eventAt(track, i - 1)->time();
        if (!File::eventRereadsAsWritten(*event, std::int64_t{event->time()} - previous)) insertsKeptShape_ = false;
    }
}

}  // namespace keldro::mfi
