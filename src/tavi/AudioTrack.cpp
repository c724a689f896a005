// Audio track ("ATR" 0): converts the audio volume events of its sequence and,
// when the first wave at the playback start point sounds before any volume
// event, inserts one there without moving any later event in time.
#include <string_view>

#include "volume/Result.h"
#include "tavi/EngineState.h"
#include "tavi/Layout.h"
#include "tavi/Rules.h"
#include "tavi/TrackEditing.h"
#include "platform/ChunkReader.h"

namespace keldro::tavi {
namespace {

using trackedit::readShortForm;
using trackedit::Splice;

constexpr std::uint8_t kAudioKind = 255;
constexpr std::size_t kNoOffset = static_cast<std::size_t>(-1);

// An event's duration as it stands in the sequence: value and byte range.
struct Duration {
    std::uint32_t value = 0;
    std::size_t at = 0;
    std::size_t end = 0;
};

// Where the volume event can go: the event at the start point, the first wave
// event from there on and the event after that wave. A volume event between
// the start point and that wave (the one an earlier conversion inserted) sets
// the volume already.
struct InsertionSites {
    bool startReached = false;
    Duration start;
    bool volumeFromStart = false;
    bool waveFound = false;
    Duration wave;
    std::uint32_t gate = 0;
    std::size_t gateAt = 0;
    std::size_t waveEnd = 0;
    bool nextFound = false;
    Duration next;
};

// What the walk of one sequence has learnt so far.
struct SequenceState {
    std::uint64_t position = 0;
    std::size_t volumeEvents = 0;
    bool waveBeforeVolume = false;
    InsertionSites sites;
};

}  // namespace

class AudioTrackConverter {
public:
    AudioTrackConverter(Engine& engine, ByteSpan chunk, ByteVector& out) : e_(engine), chunk_(chunk), out_(out) {}
    Result run();

private:
    Engine& e_;
    ByteSpan chunk_;
    ByteVector& out_;
    VolumeChangeRecord base_;
    std::uint32_t startPoint_ = 0;
    std::uint32_t stopPoint_ = 0;
    std::int64_t stopShift_ = 0;

    Result readPoints(ByteSpan body, bool keep);
    Result convertSequence(ByteVector& seq);
    Result decodeEvent(ByteReader& r, ByteVector& seq, const Duration& duration, SequenceState& state);
    void convertVolume(std::uint8_t& value, std::uint64_t position);
    Result insertVolume(ByteVector& seq, const InsertionSites& sites);
    void countShift(std::size_t at, std::int64_t delta, bool always);
};

Result AudioTrackConverter::run() {
    const std::size_t end = chunk_.size();
    if (end < kChunkHeaderSize || end - kChunkHeaderSize < AudioTrackHeader::kBytes) return Result::ChunkSizeAtr;
    base_.track = kAudioKind;
    base_.channel = kAudioKind;
    const ByteSpan header = chunk_.subspan(kChunkHeaderSize);
    base_.timebase = trackedit::timebaseMs(header[AudioTrackHeader::kDurationTimebase.at]);
    base_.gateTimebase = trackedit::timebaseMs(header[AudioTrackHeader::kGateTimebase.at]);

    const std::size_t headerEnd = kChunkHeaderSize + AudioTrackHeader::kBytes;
    ByteVector out(chunk_.begin(), chunk_.begin() + headerEnd);
    const ChunkWriter track = ChunkWriter::reopen(out, 0);
    ChunkReader subs(chunk_);
    subs.seek(headerEnd);
    std::size_t pointInfoAt = kNoOffset;
    while (const auto s = subs.next()) {
        if (s->is(kAudioSetupId) && !s->fits) {  // ends the track; the rest is kept as it is
            subs.seek(s->headerAt);
            break;
        }
        const bool points = s->is(kAudioPointInfoId);
        const bool sequence = s->is(kAudioSequenceId);
        if (!points && !s->is(kAudioSetupId) && !sequence && !s->is(kWaveSubChunkId))
            return Result::NonsupportChunkIdAtr;
        if (!s->fits) return points ? Result::ChunkSizeAspi : sequence ? Result::ChunkSizeAtsq : Result::ChunkSizeAwa;
        ByteVector body(s->body.begin(), s->body.end());
        if (points) {
            // Every point sub-chunk must be sound; the first one is the track's.
            if (Result rc = readPoints(body, pointInfoAt == kNoOffset); !ok(rc)) return rc;
            if (pointInfoAt == kNoOffset) pointInfoAt = out.size() + kChunkHeaderSize;
        } else if (sequence) {
            if (pointInfoAt == kNoOffset) return Result::InvalidPointsAspi;
            if (Result rc = convertSequence(body); !ok(rc)) return rc;
        }
        ChunkWriter::append(out, s->id, body);
    }
    if (pointInfoAt == kNoOffset) return Result::InvalidPointsAspi;
    const ByteSpan rest = subs.rest();
    out.insert(out.end(), rest.begin(), rest.end());
    // The stop point is a byte offset into the sequence: it follows the bytes
    // inserted or removed before it. The start point addresses the same event.
    ByteWriter::patchBE(out, PointInfo::kStopPoint.from(pointInfoAt),
                        static_cast<std::uint32_t>(stopPoint_ + stopShift_));
    track.close();
    out_ = std::move(out);
    return Result::Converted;
}

Result AudioTrackConverter::readPoints(ByteSpan body, bool keep) {
    if (body.size() < PointInfo::kBytes) return Result::ChunkSizeAspi;
    if (!PointInfo::hasMarks(body)) return Result::InvalidPointsAspi;
    if (!keep) return Result::Converted;
    const auto start = readBE(body, PointInfo::kStartPoint);
    const auto stop = readBE(body, PointInfo::kStopPoint);
    if (!start || !stop) return Result::ChunkSizeAspi;  // never, once the size check above passed
    startPoint_ = *start;
    stopPoint_ = *stop;
    return Result::Converted;
}

Result AudioTrackConverter::convertSequence(ByteVector& seq) {
    if (seq.empty()) return Result::SequenceDataAtsq;
    SequenceState state;
    InsertionSites& sites = state.sites;
    ByteReader r(seq);
    while (!r.atEnd()) {
        Duration d;
        d.at = r.position();
        if (!readShortForm(r, d.value)) return Result::SequenceData;
        d.end = r.position();
        state.position += d.value;
        if (sites.waveFound && !sites.nextFound) {
            sites.nextFound = true;
            sites.next = d;
        }
        if (!sites.startReached && d.at == startPoint_) {
            sites.startReached = true;
            sites.start = d;
        }
        if (Result rc = decodeEvent(r, seq, d, state); !ok(rc)) return rc;
    }
    if (!sites.startReached) return Result::SequenceDataAtsq;
    if (!state.waveBeforeVolume) return Result::Converted;
    return insertVolume(seq, sites);
}

// One event after its duration: 0xFF 0x00 no-operation, 0x00 control events
// (audio volume when the low nibble is 7) and the end mark, or a wave event.
Result AudioTrackConverter::decodeEvent(ByteReader& r, ByteVector& seq, const Duration& duration,
                                        SequenceState& state) {
    auto first = r.u8();
    if (!first) return Result::SequenceDataAtsq;
    if (*first == 0xFF) {
        auto second = r.u8();
        if (!second) return Result::ChunkSizeMtsq;
        return *second == 0x00 ? Result::Converted : Result::SequenceDataAtsq;
    }
    if (*first == 0x00) {
        auto c = r.u8();
        if (!c) return Result::SequenceDataAtsq;
        if ((*c & 0x30) == 0x30) {
            const std::size_t valueAt = r.position();
            if (!r.skip(1)) return Result::SequenceDataAtsq;
            if ((*c & 0x0F) == 7) {
                convertVolume(seq[valueAt], state.position);
                ++state.volumeEvents;
                if (state.sites.startReached && !state.sites.waveFound) state.sites.volumeFromStart = true;
            }
            return Result::Converted;
        }
        const bool endMark = duration.value == 0 && *c == 0x00 && r.peek() == std::uint8_t{0x00};
        if (!endMark) return Result::SequenceDataAtsq;
        r.skip(1);
        return Result::Converted;
    }
    const std::size_t gateAt = r.position();
    std::uint32_t gate = 0;
    if (!readShortForm(r, gate)) return Result::SequenceData;
    if (state.volumeEvents == 0) state.waveBeforeVolume = true;
    InsertionSites& sites = state.sites;
    if (sites.startReached && !sites.waveFound) {
        sites.waveFound = true;
        sites.wave = duration;
        sites.gate = gate;
        sites.gateAt = gateAt;
        sites.waveEnd = r.position();
    }
    return Result::Converted;
}

void AudioTrackConverter::convertVolume(std::uint8_t& value, std::uint64_t position) {
    VolumeChangeRecord r = base_;
    r.position = position;
    r.beforeVolume = value;
    if (!e_.askVolumeRule(r)) return;
    value = r.afterVolume;
    e_.addRecord(r);
    ++e_.volumeChanges_;
}

// Net size change of an edit at sequence offset `at`, counted toward the stop
// point when it lies before it (or always, for an edit at the start point).
void AudioTrackConverter::countShift(std::size_t at, std::int64_t delta, bool always) {
    if (always || at < stopPoint_) stopShift_ += delta;
}

// The new event X (duration 1, audio volume) takes one tick from its
// neighbours: from the start-point event's duration, from a one-tick wave
// event it replaces, or from a wave's gate time and the next event's duration.
// With no tick to take, a volume event already standing from the start point
// on does X's work.
Result AudioTrackConverter::insertVolume(ByteVector& seq, const InsertionSites& sites) {
    VolumeChangeRecord r = base_;
    r.position = 0;
    r.beforeVolume = tavi::kAssumedChannelVolume;
    if (!e_.askInsertedVolumeRule(r)) return Result::Converted;
    const ByteVector x{0x01, 0x00, 0x37, r.afterVolume};
    std::vector<Splice> splices;
    auto replace = [&](std::size_t at, std::size_t end, const ByteVector& with, bool always) {
        countShift(at, static_cast<std::int64_t>(with.size()) - static_cast<std::int64_t>(end - at), always);
        splices.push_back(Splice::of(at, end - at, with));
    };
    if (sites.start.value >= 2) {
        ByteVector with = x;
        ByteVector shorter = trackedit::shortForm(sites.start.value - 1);
        with.insert(with.end(), shorter.begin(), shorter.end());
        replace(sites.start.at, sites.start.end, with, true);
    } else if (sites.waveFound && sites.wave.value == 1 && sites.gate == 1) {
        replace(sites.wave.at, sites.waveEnd, x, false);
    } else if (sites.waveFound && sites.gate >= 2 && sites.nextFound && sites.next.value >= 2) {
        replace(sites.wave.at, sites.wave.at, x, false);
        replace(sites.gateAt, sites.waveEnd, trackedit::shortForm(sites.gate - 1), false);
        replace(sites.next.at, sites.next.end, trackedit::shortForm(sites.next.value - 1), false);
    } else if (sites.volumeFromStart) {
        return Result::Converted;
    } else {
        return Result::SequenceDataAtsq;
    }
    seq = trackedit::applySplices(seq, splices);
    e_.addRecord(r);
    ++e_.volumeChanges_;
    return Result::Converted;
}

Result Engine::convertAudioTrack(ByteSpan chunk, ByteVector& out) {
    return AudioTrackConverter(*this, chunk, out).run();
}

}  // namespace keldro::tavi
