#include "tavi/EngineState.h"

#include "volume/Result.h"
#include "tavi/Crc16.h"
#include "tavi/Layout.h"
#include "tavi/Rules.h"
#include "tavi/Writer.h"
#include "platform/ChunkReader.h"

namespace keldro::tavi {
namespace {

constexpr std::size_t kMinimumFileSize = 10;
static_assert(kFileHeadBytes == kFileHeaderSize);
constexpr std::size_t kMasterTrackMinimumBody = 4;
constexpr std::uint16_t kVq2SignatureSeed = 0x5632;
constexpr std::uint16_t kLaterSignatureSeed = 0x5651;

char hexDigit(unsigned nibble) { return "0123456789ABCDEF"[nibble & 0xFu]; }

}  // namespace

namespace {

Conversion run(ByteSpan input, const VolumeSettings* settings, bool keepChanges) {
    Engine engine(settings, keepChanges);
    Conversion out;
    out.result = engine.convert(input.data(), input.size());
    out.generation = engine.generation();
    if (out.result == Result::Converted) out.output = engine.takeOutput();
    out.changes = engine.takeChangeRecords();
    out.a0Text = engine.lastA0Text();
    out.chosenMaxGain = engine.chosenMaxGain();
    return out;
}

}  // namespace

Conversion convert(ByteSpan input, const VolumeSettings& settings, bool keepChanges) {
    return run(input, &settings, keepChanges);
}

Conversion findVolumes(ByteSpan input) { return run(input, nullptr, true); }

Result Engine::convert(const std::uint8_t* data, std::size_t size) {
    resetTrackState();
    resetContainerState();
    std::size_t fileLength = 0;
    if (Result rc = checkHeader(data, size, fileLength); !ok(rc)) return rc;

    // Anything after the CRC is not part of the file.
    file_ = ByteSpan(data, fileLength);
    expandInput();
    if (file_.size() < kCrcSize) return Result::FileSizeError;

    if (Result rc = walkChunks(); !ok(rc)) return rc;
    const Generation decided = decideGeneration();
    if (decided == Generation::Undecided) return Result::MixedTaviKinds;
    generation_ = decided;
    if (!hasContentsInfo_) return Result::NoCnti;

    if (Result rc = convertTrackChunks(); !ok(rc)) return rc;
    if (Result rc = checkVolumePresence(); !ok(rc)) return rc;
    computeAtSig();
    if (Result rc = stampSignature(); !ok(rc)) return rc;
    if (volumeChangeCount() == 0) return Result::NotConverted;

    assembleOutput();
    // The output holds every byte now: the converted chunks and the expanded
    // input are let go before the sequence is packed again.
    chunks_ = {};
    file_ = {};
    expanded_ = {};
    if (inputCompressed_) compressOutput();
    return Result::Converted;
}

void Engine::resetContainerState() {
    generation_ = Generation::Undecided;
    vq7Levels_ = {};
    output_.clear();
    records_.clear();
    lastA0Text_.clear();
    file_ = {};
    expanded_.clear();
    chunks_.clear();
    signatureCrc_ = {};
    vq2Mark_ = vq3Mark_ = vq5Mark_ = vq7Mark_ = false;
    hasContentsInfo_ = hasOptionalData_ = contentsInfoA0Seen_ = contentsInfoSignatureTagSeen_ = false;
    signatureDataFound_ = false;
    inputCompressed_ = false;
    atSigDigit1_ = atSigDigit2_ = ' ';
}

void Engine::setVq7LevelsForTracks(const PreScan& found) {
    vq7Levels_ = {};
    vq7Levels_.loudestMasterVolume = found.maxMasterVolume;
    vq7Levels_.largestMaxGain = found.maxMaxGain;
    vq7Levels_.maxGainInForce = found.maxMaxGain;
}

bool Engine::askVolumeRule(VolumeChangeRecord& r) {
    if (!settings_) return keepVolume(r);
    return tavi::volumeRule(*settings_, vq7Levels_, r);
}

bool Engine::askInsertedVolumeRule(VolumeChangeRecord& r) {
    if (!settings_) return keepVolume(r);
    return tavi::insertedVolumeRule(*settings_, vq7Levels_, r);
}

bool Engine::askMaxGainRule(VolumeChangeRecord& r) {
    if (!settings_) {
        if (generation_ != Generation::Vq7) return false;
        r.afterGain = r.beforeGain;
        r.action = kActionMaxGainRelative;
        return true;
    }
    return tavi::maxGainRule(*settings_, vq7Levels_, r);
}

bool Engine::askEffectDepthRule(VolumeChangeRecord& r) {
    return settings_ && tavi::effectDepthRule(*settings_, vq7Levels_, r);
}

bool Engine::askChorusSendRule(VolumeChangeRecord& r) {
    return settings_ && tavi::chorusSendRule(*settings_, vq7Levels_, r);
}

bool Engine::askChorusSendBeforeNoteRule(VolumeChangeRecord& r, int effectType) {
    return settings_ && tavi::chorusSendBeforeNoteRule(*settings_, vq7Levels_, r, effectType);
}

bool Engine::keepVolume(VolumeChangeRecord& r) {
    r.afterVolume = r.beforeVolume;
    r.action = kActionVolumeRelative;
    return true;
}

// The file is one chunk: "MMMD", the length L of what follows, and the CRC
// of bytes 0 .. L+5 stored at L+6. A body of less than two bytes puts the
// CRC over the length field itself, which a good file never has, so such a
// file fails the CRC check. `fileLength` is L+8.
Result Engine::checkHeader(const std::uint8_t* data, std::size_t size, std::size_t& fileLength) {
    if (data == nullptr) return Result::FileSizeError;
    const ByteSpan input(data, size);
    if (const Result rc = checkFileHead(input, size); !ok(rc)) return rc;
    const auto file = ChunkReader(input).next();  // there, and fits: checked above
    fileLength = file->bodyEnd();
    const std::size_t crcAt = fileLength - kCrcSize;
    const auto storedCrc = readBE(input, crcAt, kCrcSize);
    if (!storedCrc || *storedCrc != crc16(input.first(crcAt))) return Result::IllegalCrc;
    return Result::Converted;
}

Result checkFileHead(ByteSpan head, std::uint64_t fileSize) {
    if (fileSize < kMinimumFileSize) return Result::FileSizeError;
    const auto file = ChunkReader(head).next();
    if (!file || !file->is(kFileId)) return Result::NonsupportFileId;
    // The declared body fits in the file (the chunk's `fits`, for a head that
    // may stop short of the file's end).
    if (file->size > fileSize - kFileHeaderSize) return Result::FileSizeError;
    return Result::Converted;
}

// Maps a chunk ID to its kind and sets the generation marks it implies.
Result Engine::classifyChunk(ByteSpan id, ChunkKind& kind, int& number) {
    const std::uint8_t last = id[kTrackNumberAt];
    number = 0;
    if (hasBytesAt(id, 0, kContentsInfoId)) {
        kind = ChunkKind::ContentsInfo;
        hasContentsInfo_ = true;
    } else if (hasBytesAt(id, 0, kOptionalDataId)) {
        kind = ChunkKind::OptionalData;
        hasOptionalData_ = true;
    } else if (hasBytesAt(id, 0, kScoreTrackId) && last >= 1 && last <= 7) {
        kind = ChunkKind::ScoreTrack;
        number = last;
        vq2Mark_ = vq2Mark_ || last <= 4;
        vq3Mark_ = vq3Mark_ || last == 5;
        vq5Mark_ = vq5Mark_ || last == 6;
        vq7Mark_ = vq7Mark_ || last == 7;
    } else if (hasBytesAt(id, 0, kAudioTrackId) && last == 0) {
        kind = ChunkKind::AudioTrack;
        vq2Mark_ = true;
    } else if (hasBytesAt(id, 0, kSkippedTrackId)) {
        kind = ChunkKind::SkippedTrack;
    } else if (hasBytesAt(id, 0, kMasterTrackId)) {
        kind = ChunkKind::MasterTrack;
    } else {
        return Result::NonsupportChunkId;
    }
    return Result::Converted;
}

// First walk: classify and size-check every chunk up to the CRC and keep a
// view of each. A remainder too short for a chunk header and one body byte is
// dropped; a chunk may run into the CRC (and then is the last one).
Result Engine::walkChunks() {
    ChunkReader walk(file_);
    if (!walk.seek(kFileHeaderSize)) return Result::Converted;
    while (walk.remaining() > kChunkHeaderSize + kCrcSize) {
        const auto found = walk.next();
        if (!found) break;  // a whole header is left, so never here
        Chunk chunk{};
        if (Result rc = classifyChunk(found->id, chunk.kind, chunk.number); !ok(rc)) return rc;
        // The pre-scan sees the track as far as the file holds it, before its size is checked.
        if (chunk.kind == ChunkKind::ScoreTrack && vq7Mark_) {
            setVq7LevelsForTracks(preScanVq7(found->whole));
        }
        if (!found->fits) return chunkSizeError(chunk.kind);
        if (chunk.kind == ChunkKind::ContentsInfo && found->size < kContentsInfoFixedBytes)
            return Result::ChunkSizeCnti;
        chunk.original = found->whole;
        chunks_.push_back(std::move(chunk));
    }
    return Result::Converted;
}

Result Engine::chunkSizeError(ChunkKind kind) {
    switch (kind) {
        case ChunkKind::ContentsInfo: return Result::ChunkSizeCnti;
        case ChunkKind::OptionalData: return Result::ChunkSizeOpda;
        case ChunkKind::ScoreTrack: return Result::ChunkSizeMtr;
        case ChunkKind::AudioTrack: return Result::ChunkSizeAtr;
        case ChunkKind::SkippedTrack: return Result::ChunkSizeGtr;
        case ChunkKind::MasterTrack: return Result::ChunkSizeMstr;
    }
    return Result::NonsupportChunkId;
}

// VQ-2 unless exactly one of the VQ-3/5/7 tracks is present without any VQ-2
// mark; any other mixture is refused (undecided).
Generation Engine::decideGeneration() const {
    const int laterKinds = int{vq3Mark_} + int{vq5Mark_} + int{vq7Mark_};
    if (laterKinds == 0) return Generation::Vq2;
    if (laterKinds > 1 || vq2Mark_) return Generation::Undecided;
    return vq3Mark_ ? Generation::Vq3 : (vq5Mark_ ? Generation::Vq5 : Generation::Vq7);
}

// Second walk: converts the tracks in file order, fixes their size fields and
// adds them to the signature's CRC.
Result Engine::convertTrackChunks() {
    for (Chunk& chunk : chunks_) {
        Result rc = Result::Converted;
        switch (chunk.kind) {
            case ChunkKind::ScoreTrack: rc = convertScoreTrack(chunk.original, chunk.number, chunk.edited); break;
            case ChunkKind::AudioTrack: rc = convertAudioTrack(chunk.original, chunk.edited); break;
            case ChunkKind::MasterTrack:
                if (chunk.original.size() - kChunkHeaderSize < kMasterTrackMinimumBody) return Result::ChunkSizeMstr;
                continue;
            default: continue;
        }
        if (!ok(rc)) return rc;  // a converted chunk already carries its new size
        chunk.changed = true;
        signatureCrc_.add(chunk.edited);
    }
    return Result::Converted;
}

// Files of the later chips must set their master volume (and VQ-7 its
// MaxGain) before any note sounds, otherwise changing it would not act on
// the whole song.
Result Engine::checkVolumePresence() const {
    const bool masterVolumeFound = volumeChangeCount() > 0 && masterVolumeBeforeFirstNote();
    if (generation_ == Generation::Vq3 || generation_ == Generation::Vq5)
        return masterVolumeFound ? Result::Converted : Result::NoMasterVolume;
    if (generation_ == Generation::Vq7) {
        if (maxGainChangeCount() == 0 || !maxGainInSetupData()) return Result::NoMaxGain;
        if (!masterVolumeFound) return Result::NoMasterVolume;
    }
    return Result::Converted;
}

// The two signature digits: low nibbles of both bytes of the CRC of the
// converted tracks, mixed with a seed per chip family.
void Engine::computeAtSig() {
    const std::uint16_t seed = generation_ == Generation::Vq2 ? kVq2SignatureSeed : kLaterSignatureSeed;
    const unsigned x = signatureCrc_.value() ^ seed;
    atSigDigit1_ = hexDigit(x >> 8);
    atSigDigit2_ = hexDigit(x);
}

}  // namespace keldro::tavi
