// Score tracks ("MTR" 1..7): walks the sub-chunks, decodes the sequences of
// the four chip generations, rewrites every volume the rules change and
// inserts the events a file needs, keeping sizes and start/stop points right.
#include <algorithm>
#include <array>
#include <span>
#include <string_view>

#include "volume/Result.h"
#include "tavi/EngineState.h"
#include "tavi/Layout.h"
#include "tavi/Rules.h"
#include "tavi/TrackEditing.h"
#include "platform/ChunkReader.h"
#include "volume/VolumeRules.h"

namespace keldro::tavi {
namespace {

using trackedit::readVarlen;
using trackedit::Splice;

constexpr std::uint8_t kGlobalChannel = 255;
constexpr std::size_t kNoOffset = static_cast<std::size_t>(-1);
constexpr std::uint8_t kChorusSendController = 0x5D;

// What a track does with one of its sub-chunks, and the size message for it.
// PointInfo: the VQ-2 start and stop points; PointSize: a VQ-3 "MspI", whose
// body must still hold them but is not read.
enum class Role { PointInfo, PointSize, Setup, Sequence, Skipped, Unsupported };
struct SubChunkRule {
    Role role = Role::Unsupported;
    Result sizeError = Result::Converted;
};

SubChunkRule ruleFor(int track, const ChunkView& s) {
    bool vq2 = track <= 4;
    if (s.is(kScorePointInfoId) && track <= 5) return {vq2 ? Role::PointInfo : Role::PointSize, Result::ChunkSizeMspi};
    if (s.is(kScoreSetupId)) return {track == 7 ? Role::Setup : Role::Skipped, Result::ChunkSizeMtsu};
    if (s.is(kScoreSequenceId)) return {Role::Sequence, Result::ChunkSizeMtsq};
    if (s.is(kStreamSubChunkId) && !vq2) return {Role::Skipped, Result::ChunkSizeMtsp};
    if (s.is(kVoiceSubChunkId) && track >= 6) return {Role::Skipped, Result::ChunkSizeMtsp};
    return {};
}

std::size_t trackHeaderLength(int track) {
    if (track <= 4) return ScoreTrackHeader::kVq2Bytes;
    return track <= 6 ? ScoreTrackHeader::kVq35Bytes : ScoreTrackHeader::kVq7Bytes;
}
// A VQ-7 track needs no more body than a VQ-3/5 one.
std::size_t minimumTrackBody(int track) {
    return track <= 4 ? ScoreTrackHeader::kVq2Bytes : ScoreTrackHeader::kVq35Bytes;
}

// ---- Event decoding of the VQ-3/5/7 sequences (MIDI-style durations). ----

enum class EventKind { Note, Control, Plain, ClearsFlag, Exclusive, NoOp, EndOfTrack, CutOff };

struct Event {
    EventKind kind = EventKind::Plain;
    std::uint32_t duration = 0;
    std::size_t status = 0;      // offset of the status byte
    int channel = 0;             // VQ-7 notes and control changes
    std::size_t dataAt = 0;      // exclusive: first data byte
    std::size_t dataLength = 0;  // exclusive: n
};

// Consumes `n` bytes of a fixed-size event; false when the sequence ends inside it.
bool take(ByteReader& r, std::size_t n) { return r.skip(n); }

Result readExclusive(ByteReader& r, Event& ev) {
    std::uint32_t n = 0;
    if (!readVarlen(r, n) || n < 6 || !r.canRead(n)) return Result::ExclusiveSizeMtsq;
    ev.kind = EventKind::Exclusive;
    ev.dataAt = r.position();
    ev.dataLength = n;
    r.skip(n);
    if (r.window()[ev.dataAt + n - 1] != 0xF7) return Result::IllegalExclusiveMtsq;
    return Result::Converted;
}

// 0xFF events: 0xFF 0x00 no-operation, 0xFF 0x2F 0x00 end of track.
Result readMetaEvent(ByteReader& r, Event& ev) {
    auto second = r.u8();
    if (second == std::uint8_t{0x00}) {
        ev.kind = EventKind::NoOp;
        return Result::Converted;
    }
    if (second == std::uint8_t{0x2F} && r.u8() == std::uint8_t{0x00}) {
        ev.kind = EventKind::EndOfTrack;
        return Result::Converted;
    }
    return Result::SequenceDataMtsq;
}

// A note's remaining bytes after the status, then its gate time.
Result readNote(ByteReader& r, Event& ev, std::size_t bytesAfterStatus) {
    std::uint32_t gate = 0;
    if (!take(r, bytesAfterStatus) || !readVarlen(r, gate)) return Result::SequenceDataMtsq;
    ev.kind = EventKind::Note;
    return Result::Converted;
}

Result readFixed(ByteReader& r, Event& ev, std::size_t bytesAfterStatus, EventKind kind) {
    if (!take(r, bytesAfterStatus)) return Result::SequenceDataMtsq;
    ev.kind = kind;
    return Result::Converted;
}

// Events skipped by their length alone: cut off by the sequence end, they end it.
void readUnchecked(ByteReader& r, Event& ev, std::size_t bytesAfterStatus) {
    ev.kind = take(r, bytesAfterStatus) ? EventKind::Plain : EventKind::CutOff;
}

Result readEventStart(ByteReader& r, Event& ev, std::uint8_t& status) {
    if (!readVarlen(r, ev.duration)) return Result::SequenceDataMtsq;
    ev.status = r.position();
    auto s = r.u8();
    if (!s) return Result::SequenceDataMtsq;
    status = *s;
    return Result::Converted;
}

Result readVq35Event(ByteReader& r, Event& ev) {
    std::uint8_t status = 0;
    if (Result rc = readEventStart(r, ev, status); !ok(rc)) return rc;
    switch (status & 0xF0) {
        case 0x80: return readNote(r, ev, 1);
        case 0x90: return readNote(r, ev, 2);
        case 0xA0: readUnchecked(r, ev, 2); return Result::Converted;
        case 0xB0:
        case 0xE0: return readFixed(r, ev, 2, EventKind::Plain);
        case 0xC0: return readFixed(r, ev, 1, EventKind::Plain);
        case 0xD0:
            readUnchecked(r, ev, 1);
            if (ev.kind == EventKind::Plain) ev.kind = EventKind::ClearsFlag;
            return Result::Converted;
        default: break;
    }
    if (status == 0xF0) return readExclusive(r, ev);
    if (status == 0xFF) return readMetaEvent(r, ev);
    return Result::SequenceDataMtsq;
}

// VQ-7 status bytes address channels 0-15 through 0x00-0x7F and 16-31 through 0x80-0xFF.
Result readVq7Event(ByteReader& r, Event& ev) {
    std::uint8_t status = 0;
    if (Result rc = readEventStart(r, ev, status); !ok(rc)) return rc;
    if (status == 0xF0) return readExclusive(r, ev);
    if (status == 0xFF) return readMetaEvent(r, ev);
    ev.channel = (status & 0x0F) + (status >= 0x80 ? 16 : 0);
    switch (status & 0x70) {
        case 0x00: return readNote(r, ev, 1);
        case 0x10: return readNote(r, ev, 2);
        case 0x20: readUnchecked(r, ev, 2); return Result::Converted;
        case 0x30: return readFixed(r, ev, 2, EventKind::Control);
        case 0x40: return readFixed(r, ev, 1, EventKind::Plain);
        case 0x50: return readFixed(r, ev, 1, EventKind::ClearsFlag);
        case 0x60: return readFixed(r, ev, 2, EventKind::Plain);
        default: return Result::SequenceDataMtsq;  // 0x70-0x7F and 0xF1-0xFE
    }
}

bool endsSequence(const Event& ev) { return ev.kind == EventKind::EndOfTrack || ev.kind == EventKind::CutOff; }

}  // namespace

// A sequence body being converted: edited in place, while events to insert
// (or replace) are collected as splices that are applied once at the end.
using Sequence = std::span<std::uint8_t>;

// Converts one score track chunk into `out` (the chunk may grow). Each
// sub-chunk is copied to `out` once and converted where it landed.
class ScoreTrackConverter {
public:
    ScoreTrackConverter(Engine& engine, ByteSpan chunk, int track, ByteVector& out)
        : e_(engine), chunk_(chunk), track_(track), out_(out) {}

    Result run();

private:
    Engine& e_;
    ByteSpan chunk_;
    int track_;
    ByteVector& out_;
    VolumeChangeRecord base_;
    std::uint64_t position_ = 0;
    std::uint32_t insertedInTrack_ = 0;

    bool regulateChorus() const { return e_.regulateChorus(); }
    VolumeChangeRecord context(std::uint8_t channel) const;
    bool askVolume(std::uint8_t channel, std::uint8_t& value);
    void noteSeen();

    Result convertSubChunk(Role role, Sequence body, std::vector<Splice>& splices, std::size_t& pointInfoAt,
                           std::size_t outBodyAt);
    void applySplices(std::size_t bodyAt, const std::vector<Splice>& splices, std::size_t thenAppended);
    void shiftPoints(std::size_t pointInfoAt);

    // Per-sequence marks of the four VQ-2 channels.
    struct Vq2Marks {
        std::array<bool, 4> noteBeforeVolume{}, hasControl{}, hasVolume{};
    };
    Result convertVq2Sequence(Sequence seq, std::vector<Splice>& splices);
    Result convertVq2Event(ByteReader& r, Sequence seq, std::uint32_t duration, Vq2Marks& marks);
    static Result readVq2SystemEvent(ByteReader& r);
    std::uint32_t insertVq2Volumes(const std::array<bool, 4>& needsVolume, std::vector<Splice>& splices);

    template <bool kVq7>
    Result convertSequence(Sequence seq, std::vector<Splice>& splices);
    Result convertVq7Setup(Sequence seq);
    Result convertVq7Exclusive(Sequence seq, const Event& ev);
    void convertMaxGain(Sequence seq, std::size_t valueAt);
    Result convertEffectParameters(Sequence seq, const Event& ev);
    void selectEffect(std::uint8_t value);
    void convertChorusSend(Sequence seq, const Event& ev);
    void chorusBeforeNote(const Event& ev, std::vector<Splice>& splices);
};

VolumeChangeRecord ScoreTrackConverter::context(std::uint8_t channel) const {
    VolumeChangeRecord r = base_;
    r.channel = channel;
    r.position = position_;
    return r;
}

// Asks the volume rule for a volume found at `value`; on a yes the new value
// is written back and the change recorded.
bool ScoreTrackConverter::askVolume(std::uint8_t channel, std::uint8_t& value) {
    VolumeChangeRecord r = context(channel);
    r.beforeVolume = value;
    if (!e_.askVolumeRule(r)) return false;
    value = r.afterVolume;
    e_.addRecord(r);
    ++e_.volumeChanges_;
    return true;
}

// A note (or a note-like event) sounding before any master volume was changed.
void ScoreTrackConverter::noteSeen() {
    if (e_.volumeChanges_ == 0) e_.masterVolumeBeforeFirstNote_ = false;
}

Result ScoreTrackConverter::run() {
    const std::size_t end = chunk_.size();
    if (end < kChunkHeaderSize || end - kChunkHeaderSize < minimumTrackBody(track_)) return Result::ChunkSizeMtr;
    base_.track = static_cast<std::uint8_t>(track_);
    const ByteSpan header = chunk_.subspan(kChunkHeaderSize);
    base_.timebase = trackedit::timebaseMs(header[ScoreTrackHeader::kDurationTimebase.at]);
    base_.gateTimebase = trackedit::timebaseMs(header[ScoreTrackHeader::kGateTimebase.at]);

    const std::size_t headerEnd = std::min(end, kChunkHeaderSize + trackHeaderLength(track_));
    out_.clear();
    out_.reserve(end);  // the usual outcome: the same size, volumes changed in place
    out_.insert(out_.end(), chunk_.begin(), chunk_.begin() + static_cast<std::ptrdiff_t>(headerEnd));
    const ChunkWriter track = ChunkWriter::reopen(out_, 0);
    ChunkReader subs(chunk_);
    subs.seek(headerEnd);
    std::size_t pointInfoAt = kNoOffset;
    std::vector<Splice> splices;
    while (const auto s = subs.next()) {
        SubChunkRule rule = ruleFor(track_, *s);
        if (rule.role == Role::Unsupported) return Result::NonsupportChunkIdMtr;
        if (!s->fits) return rule.sizeError;
        const ChunkWriter sub(out_, s->id);
        const std::size_t bodyAt = sub.bodyAt();
        out_.insert(out_.end(), s->body.begin(), s->body.end());
        const Sequence body = Sequence(out_).subspan(bodyAt);
        splices.clear();
        if (Result rc = convertSubChunk(rule.role, body, splices, pointInfoAt, bodyAt); !ok(rc)) return rc;
        if (!splices.empty()) applySplices(bodyAt, splices, chunk_.size() - subs.position());
        sub.close();
    }
    const ByteSpan rest = subs.rest();
    out_.insert(out_.end(), rest.begin(), rest.end());

    if (track_ <= 4 && pointInfoAt == kNoOffset) return Result::InvalidPointsMspi;
    if (pointInfoAt != kNoOffset) shiftPoints(pointInfoAt);
    track.close();
    return Result::Converted;
}

// Rebuilds the sub-chunk body that starts at `bodyAt` (the last thing in
// `out_`) with its splices, which only insert; room is kept for the
// `thenAppended` bytes of the chunk still to come.
void ScoreTrackConverter::applySplices(std::size_t bodyAt, const std::vector<Splice>& splices,
                                       std::size_t thenAppended) {
    trackedit::applyInsertsInPlace(out_, bodyAt, splices, thenAppended);
}

Result ScoreTrackConverter::convertSubChunk(Role role, Sequence body, std::vector<Splice>& splices,
                                            std::size_t& pointInfoAt, std::size_t outBodyAt) {
    switch (role) {
        case Role::PointInfo:
            if (body.size() < PointInfo::kBytes) return Result::ChunkSizeMspi;
            if (!PointInfo::hasMarks(body)) return Result::InvalidPointsMspi;
            if (pointInfoAt == kNoOffset) pointInfoAt = outBodyAt;
            return Result::Converted;
        case Role::PointSize: return body.size() < PointInfo::kBytes ? Result::ChunkSizeMspi : Result::Converted;
        case Role::Setup: return convertVq7Setup(body);
        case Role::Sequence:
            position_ = 0;
            if (track_ <= 4) return convertVq2Sequence(body, splices);
            if (track_ <= 6) return convertSequence<false>(body, splices);
            return convertSequence<true>(body, splices);
        default: return Result::Converted;
    }
}

// The start and stop points are byte offsets into the sequence data, so both
// move by the bytes inserted at its front.
void ScoreTrackConverter::shiftPoints(std::size_t pointInfoAt) {
    if (insertedInTrack_ == 0) return;
    for (Field point : {PointInfo::kStartPoint, PointInfo::kStopPoint})
        ByteWriter::addBE(out_, point.from(pointInfoAt), insertedInTrack_);
}

// ---- VQ-2: channel volumes, and inserted volumes for channels that need one. ----

Result ScoreTrackConverter::convertVq2Sequence(Sequence seq, std::vector<Splice>& splices) {
    Vq2Marks marks;
    ByteReader r(seq);
    while (!r.atEnd()) {
        std::uint32_t duration = 0;
        if (!trackedit::readShortForm(r, duration)) return Result::SequenceData;
        position_ += duration;
        if (Result rc = convertVq2Event(r, seq, duration, marks); !ok(rc)) return rc;
    }
    std::array<bool, 4> needsVolume{};
    for (std::size_t ch = 0; ch < 4; ++ch) needsVolume[ch] = marks.noteBeforeVolume[ch] && marks.hasControl[ch];
    insertedInTrack_ += insertVq2Volumes(needsVolume, splices);
    return Result::Converted;
}

// One VQ-2 event after its duration: 0xFF system events, 0x00 control events
// (channel volume when the low nibble is 7) or a note with its gate time.
Result ScoreTrackConverter::convertVq2Event(ByteReader& r, Sequence seq, std::uint32_t duration, Vq2Marks& marks) {
    auto first = r.u8();
    if (!first) return Result::ChunkSizeMtsq;
    if (*first == 0xFF) return readVq2SystemEvent(r);
    if (*first != 0x00) {
        auto channel = static_cast<std::size_t>(*first >> 6);
        std::uint32_t gate = 0;
        if (!trackedit::readShortForm(r, gate)) return Result::SequenceData;
        if (!marks.hasVolume[channel]) marks.noteBeforeVolume[channel] = true;
        return Result::Converted;
    }
    auto c = r.u8();
    if (!c) return Result::ChunkSizeMtsq;
    auto channel = static_cast<std::uint8_t>(*c >> 6);
    if ((*c & 0x30) == 0x30) {
        std::size_t valueAt = r.position();
        if (!r.skip(1)) return Result::ChunkSizeMtsq;
        marks.hasControl[channel] = true;
        if ((*c & 0x0F) == 7) {
            askVolume(channel, seq[valueAt]);
            marks.hasVolume[channel] = true;
        }
    } else if (duration == 0 && *c == 0x00 && r.peek() == std::uint8_t{0x00}) {
        r.skip(1);  // end of sequence 0x00 0x00 0x00
    }
    return Result::Converted;
}

// 0xFF 0x00 no-operation, or 0xFF 0xF0 exclusive with a one-byte length.
Result ScoreTrackConverter::readVq2SystemEvent(ByteReader& r) {
    auto second = r.u8();
    if (!second) return Result::ChunkSizeMtsq;
    if (*second == 0x00) return Result::Converted;
    if (*second != 0xF0) return Result::SequenceDataMtsq;
    auto n = r.u8();
    auto data = n ? r.bytes(*n) : std::nullopt;
    if (!data || data->empty() || data->back() != 0xF7) return Result::ChunkSizeMtsq;
    return Result::Converted;
}

// A channel that plays notes before its first volume event (and has control
// events, so it is a real part) gets an explicit volume at the sequence start.
// Channels are asked from 3 down to 0, each event going to the front, so the
// inserted events stand in channel order 0..3.
std::uint32_t ScoreTrackConverter::insertVq2Volumes(const std::array<bool, 4>& needsVolume,
                                                    std::vector<Splice>& splices) {
    std::array<std::uint8_t, 4> volumes{};  // per channel, once asked
    std::array<bool, 4> inserted{};
    for (int ch = 3; ch >= 0; --ch) {
        const auto c = static_cast<std::size_t>(ch);
        if (!needsVolume[c]) continue;
        VolumeChangeRecord r = context(static_cast<std::uint8_t>(ch));
        r.position = 0;
        r.beforeVolume = tavi::kAssumedChannelVolume;
        if (!e_.askInsertedVolumeRule(r)) continue;
        volumes[c] = r.afterVolume;
        inserted[c] = true;
        e_.addRecord(r);
        ++e_.volumeChanges_;
    }
    std::uint32_t bytes = 0;
    for (std::size_t c = 0; c < 4; ++c) {
        if (!inserted[c]) continue;
        const std::uint8_t event[] = {0x00, 0x00, static_cast<std::uint8_t>(c * 64 + 0x37), volumes[c]};
        splices.push_back(Splice::of(0, 0, event));
        bytes += sizeof event;
    }
    return bytes;
}

// ---- VQ-3/5/7 sequences: one walk, the generation's events as the difference. ----

// VQ-3 and VQ-5 change their master volume exclusives only; VQ-7 also its
// MaxGain and effects (convertVq7Exclusive) and, with chorus regulation, the
// chorus sends and the ones put in front of notes.
template <bool kVq7>
Result ScoreTrackConverter::convertSequence(Sequence seq, std::vector<Splice>& splices) {
    ByteReader r(seq);
    while (!r.atEnd()) {
        Event ev;
        if (Result rc = kVq7 ? readVq7Event(r, ev) : readVq35Event(r, ev); !ok(rc)) return rc;
        position_ += ev.duration;
        if (endsSequence(ev)) break;
        switch (ev.kind) {
            case EventKind::Note:
                noteSeen();
                if constexpr (kVq7) chorusBeforeNote(ev, splices);
                break;
            case EventKind::ClearsFlag: noteSeen(); break;
            case EventKind::Control:
                if constexpr (kVq7) convertChorusSend(seq, ev);
                break;
            case EventKind::Exclusive:
                if constexpr (kVq7) {
                    if (Result rc = convertVq7Exclusive(seq, ev); !ok(rc)) return rc;
                } else if (seq[ev.dataAt + 4] == 0x00) {
                    askVolume(kGlobalChannel, seq[ev.dataAt + 5]);
                }
                break;
            default: break;
        }
    }
    return Result::Converted;
}

// ---- VQ-7: setup data, exclusive rules and chorus regulation. ----

Result ScoreTrackConverter::convertVq7Setup(Sequence seq) {
    position_ = 0;
    ByteReader r(seq);
    while (!r.atEnd()) {
        Event ev;
        if (r.u8() != std::uint8_t{0xF0}) return Result::SequenceData;
        if (Result rc = readExclusive(r, ev); !ok(rc)) return rc;
        if (Result rc = convertVq7Exclusive(seq, ev); !ok(rc)) return rc;
    }
    if (e_.maxGainChanges_ == 0) e_.maxGainInSetupData_ = false;
    return Result::Converted;
}

Result ScoreTrackConverter::convertVq7Exclusive(Sequence seq, const Event& ev) {
    const std::size_t command = ev.dataAt + 4;
    switch (seq[command]) {
        case 0x20: askVolume(kGlobalChannel, seq[command + 1]); return Result::Converted;
        case 0x22: convertMaxGain(seq, command + 1); return Result::Converted;
        case 0x27: return convertEffectParameters(seq, ev);
        case 0x2D: selectEffect(seq[command + 1]); return Result::Converted;
        default: return Result::Converted;
    }
}

void ScoreTrackConverter::convertMaxGain(Sequence seq, std::size_t valueAt) {
    e_.vq7Levels_.maxGainInForce = seq[valueAt];  // from here on, this one
    VolumeChangeRecord r = context(kGlobalChannel);
    r.beforeGain = seq[valueAt];
    if (!e_.askMaxGainRule(r)) return;
    seq[valueAt] = r.afterGain;
    e_.addRecord(r);
    ++e_.maxGainChanges_;
}

// Effect parameters: 32-byte blocks after the command byte, each starting with
// its 16-bit effect type; the depth of a chorus-like effect is at block byte 12.
Result ScoreTrackConverter::convertEffectParameters(Sequence seq, const Event& ev) {
    const std::size_t n = ev.dataLength;
    if (n < 38 || (n - 6) % 32 != 0) return Result::ExclusiveSizeMtsq;
    e_.effectTypes_.clear();
    for (std::size_t j = 0; j < (n - 6) / kEffectBlockSize; ++j) {
        const std::size_t block = ev.dataAt + 5 + kEffectBlockSize * j;
        int type = effectTypeOfBlock(&seq[block]);
        if (j == 0) e_.currentEffectType_ = type;
        e_.effectTypes_.push_back(type);
        if (!isChorusLikeEffect(type) || !regulateChorus()) continue;
        VolumeChangeRecord r = context(kGlobalChannel);
        r.beforeLevel = seq[block + kEffectLevelByte];
        if (!e_.askEffectDepthRule(r)) continue;
        seq[block + kEffectLevelByte] = r.afterLevel;
        e_.addRecord(r);
    }
    return Result::Converted;
}

void ScoreTrackConverter::selectEffect(std::uint8_t value) {
    if (value < 0x40 || value > 0x5F) return;
    std::size_t index = value - 0x40u;
    if (index >= e_.effectTypes_.size()) return;
    e_.currentEffectType_ = e_.effectTypes_[index];
    e_.chorusSeen_.fill(false);
}

// Controller 93 (chorus send): remembered per channel; regulated only under a
// chorus-like effect and when the send is not off.
void ScoreTrackConverter::convertChorusSend(Sequence seq, const Event& ev) {
    if (seq[ev.status + 1] != kChorusSendController) return;
    const auto ch = static_cast<std::size_t>(ev.channel);
    std::uint8_t& value = seq[ev.status + 2];
    e_.chorusSeen_[ch] = true;
    e_.chorusFound_[ch] = value;
    e_.chorusCurrent_[ch] = value;
    if (!isChorusLikeEffect(e_.currentEffectType_) || !regulateChorus() || value == 0) return;
    VolumeChangeRecord r = context(static_cast<std::uint8_t>(ch));
    r.beforeLevel = value;
    if (!e_.askChorusSendRule(r)) return;
    value = r.afterLevel;
    e_.addRecord(r);
    e_.chorusCurrent_[ch] = r.afterLevel;
}

// A channel whose chorus send has not been set since the effect changed gets
// one right before its note. The control change takes over the note's duration
// and the note follows with duration 0, so no event moves in time.
void ScoreTrackConverter::chorusBeforeNote(const Event& ev, std::vector<Splice>& splices) {
    const auto ch = static_cast<std::size_t>(ev.channel);
    const int found = e_.chorusFound_[ch];
    if (found == 0 || e_.chorusSeen_[ch]) return;
    if (!isChorusLikeEffect(e_.currentEffectType_) && found == e_.chorusCurrent_[ch]) return;
    if (!regulateChorus()) return;
    VolumeChangeRecord r = context(static_cast<std::uint8_t>(ch));
    r.beforeLevel = static_cast<std::uint8_t>(found);
    if (!e_.askChorusSendBeforeNoteRule(r, e_.currentEffectType_)) return;
    auto status = static_cast<std::uint8_t>((ch < 16 ? 0x30 : 0xB0) | (ch & 0x0F));
    const std::uint8_t send[] = {status, kChorusSendController, r.afterLevel, 0x00};
    splices.push_back(Splice::of(ev.status, 0, send));
    e_.addRecord(r);
    e_.chorusSeen_[ch] = true;
    e_.chorusCurrent_[ch] = r.afterLevel;
}

void Engine::resetTrackState() {
    records_.clear();
    volumeChanges_ = 0;
    maxGainChanges_ = 0;
    masterVolumeBeforeFirstNote_ = true;
    maxGainInSetupData_ = true;
    chorusSeen_.fill(false);
    chorusFound_.fill(0);
    chorusCurrent_.fill(0);
    currentEffectType_ = 0;
    effectTypes_.clear();
}

Result Engine::convertScoreTrack(ByteSpan chunk, int trackNumber, ByteVector& out) {
    if (trackNumber < 1 || trackNumber > 7) return Result::NonsupportChunkId;
    return ScoreTrackConverter(*this, chunk, trackNumber, out).run();
}

// ---- VQ-7 pre-scan: the loudest master volume and the largest MaxGain. ----
namespace {

void noteExclusive(ByteSpan data, Engine::PreScan& found) {
    const int value = data[5];
    if (data[4] == 0x20 && value < 128) found.maxMasterVolume = std::max(found.maxMasterVolume, value);
    if (data[4] == 0x22 && value <= 24) found.maxMaxGain = std::max(found.maxMaxGain, value);
}

bool scanSetup(ByteSpan body, Engine::PreScan& found) {
    ByteReader r(body);
    while (!r.atEnd()) {
        Event ev;
        if (r.u8() != std::uint8_t{0xF0} || !ok(readExclusive(r, ev))) return false;
        noteExclusive(body.subspan(ev.dataAt, ev.dataLength), found);
    }
    return true;
}

bool scanSequence(ByteSpan body, Engine::PreScan& found) {
    ByteReader r(body);
    while (!r.atEnd()) {
        Event ev;
        if (!ok(readVq7Event(r, ev))) return false;
        if (endsSequence(ev)) break;
        if (ev.kind == EventKind::Exclusive) noteExclusive(body.subspan(ev.dataAt, ev.dataLength), found);
    }
    return true;
}

}  // namespace

Engine::PreScan Engine::preScanVq7(ByteSpan chunk) {
    PreScan found;
    const bool isTrack7 =
        chunk.size() >= kChunkHeaderSize && hasBytesAt(chunk, 0, kScoreTrackId) && chunk[kTrackNumberAt] == 7;
    if (!isTrack7 || chunk.size() - kChunkHeaderSize < minimumTrackBody(7)) return found;
    ChunkReader subs(chunk);
    if (!subs.seek(kChunkHeaderSize + trackHeaderLength(7))) return found;
    while (const auto s = subs.next()) {
        if (!s->fits) break;
        bool ok = true;
        if (s->is(kScoreSetupId))
            ok = scanSetup(s->body, found);
        else if (s->is(kScoreSequenceId))
            ok = scanSequence(s->body, found);
        else
            ok = s->is(kStreamSubChunkId) || s->is(kVoiceSubChunkId);
        if (!ok) break;
    }
    return found;
}

}  // namespace keldro::tavi
