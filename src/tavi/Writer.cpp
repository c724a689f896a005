#include "tavi/Writer.h"

#include <algorithm>

#include "tavi/Crc16.h"
#include "tavi/Huffman.h"
#include "tavi/EngineState.h"
#include "platform/ChunkReader.h"

namespace keldro::tavi {
namespace {

// The search walks past a VQ-3/5 track header whatever the track number.
constexpr std::size_t kTrackHeaderOfCompressedTrack = ScoreTrackHeader::kVq35Bytes;

// The first "Mtsq" among the sub-chunks of a compressed track's body.
std::optional<SequenceLocation> findSequenceInTrack(const ChunkView& track) {
    ChunkReader subs(track.body);
    if (!subs.seek(kTrackHeaderOfCompressedTrack)) return std::nullopt;
    while (const auto sub = subs.next()) {
        if (!sub->fits) return std::nullopt;
        if (sub->is(kScoreSequenceId)) return SequenceLocation{track.headerAt, track.bodyAt + sub->bodyAt, sub->size};
    }
    return std::nullopt;
}

// The "Mtsq" and track size fields of a file whose sequence body, located by
// `where`, is now `bodySize` bytes long.
void patchSequenceSizes(ByteVector& file, const SequenceLocation& where, std::size_t bodySize) {
    ChunkWriter::setSize(file, where.bodyStart - kChunkHeaderSize, static_cast<std::uint32_t>(bodySize));
    ChunkWriter::addToSize(file, where.trackStart, static_cast<std::uint32_t>(bodySize - where.bodySize));
}

// A fresh length field and CRC in the last two bytes, for a file whose size
// changed.
void refreshLengthAndCrc(ByteVector& file) {
    ChunkWriter::reopen(file, 0).close();
    const std::size_t crcAt = file.size() - kCrcSize;
    ByteWriter::patchBE(file, crcAt, crc16(ByteSpan(file).first(crcAt)), 2);
}

}  // namespace

// Walks the whole file, the CRC included; a remainder of no more than a
// chunk header ends the walk.
std::optional<SequenceLocation> findCompressedSequence(ByteSpan file) {
    ChunkReader walk(file);
    if (!walk.seek(kFileHeaderSize)) return std::nullopt;
    while (walk.remaining() > kChunkHeaderSize) {
        const auto track = walk.next();
        if (!track) break;  // a whole header is left, so never here
        if (!track->is(kScoreTrackId)) continue;
        if (readBE(track->body, ScoreTrackHeader::kFormat) != kCompressedFormat) return std::nullopt;
        if (auto found = findSequenceInTrack(*track)) return found;
    }
    return std::nullopt;
}

// In place: the body's bytes overwritten, and the difference in size erased
// or inserted after them.
void replaceSequence(ByteVector& file, const SequenceLocation& where, ByteSpan body) {
    const auto at = file.begin() + static_cast<std::ptrdiff_t>(where.bodyStart);
    const std::size_t kept = std::min(body.size(), where.bodySize);
    std::copy_n(body.begin(), kept, at);
    if (body.size() < where.bodySize)
        file.erase(at + static_cast<std::ptrdiff_t>(kept), at + static_cast<std::ptrdiff_t>(where.bodySize));
    else
        file.insert(at + static_cast<std::ptrdiff_t>(kept), body.begin() + static_cast<std::ptrdiff_t>(kept),
                    body.end());
    patchSequenceSizes(file, where, body.size());
    refreshLengthAndCrc(file);
}

void closeFile(ByteVector& file) {
    file.resize(file.size() + kCrcSize);
    refreshLengthAndCrc(file);
}

}  // namespace keldro::tavi

// ---- The engine's writing steps ----

namespace keldro::tavi {

// Works from an expanded copy when the first score track is compressed.
// Data that cannot be honestly expanded is used as read, as if memory for
// the expansion had run out.
// The file is expanded straight into its copy: the bytes before the sequence,
// the plain sequence, the bytes after it.
void Engine::expandInput() {
    const auto where = findCompressedSequence(file_);
    if (!where) return;
    const std::size_t bodyEnd = where->bodyStart + where->bodySize;
    expanded_.assign(file_.begin(), file_.begin() + static_cast<std::ptrdiff_t>(where->bodyStart));
    if (!huffmanDecodeAppending(file_.subspan(where->bodyStart, where->bodySize), expanded_, file_.size() - bodyEnd)) {
        expanded_ = ByteVector();
        return;
    }
    const std::size_t plainSize = expanded_.size() - where->bodyStart;
    expanded_.insert(expanded_.end(), file_.begin() + static_cast<std::ptrdiff_t>(bodyEnd), file_.end());
    patchSequenceSizes(expanded_, *where, plainSize);
    refreshLengthAndCrc(expanded_);
    file_ = expanded_;
    inputCompressed_ = true;
}

// Header, the chunks as converted, the signature OPDA after CNTI where a
// VQ-3/5 file has none, a fresh length field and CRC. A file whose CNTI holds
// signature tags keeps its signature there: an OPDA beside them would make
// the output unreadable.
void Engine::assembleOutput() {
    const bool insertOptionalData = !hasOptionalData_ && !contentsInfoSignatureTagSeen_ &&
                                    (generation_ == Generation::Vq3 || generation_ == Generation::Vq5);
    const ByteVector opda = insertOptionalData ? signatureOptionalDataChunk() : ByteVector{};
    std::size_t size = kFileHeaderSize + opda.size() + kCrcSize;
    for (const Chunk& chunk : chunks_) size += chunk.bytes().size();
    output_.clear();
    output_.reserve(size);
    output_.insert(output_.end(), file_.begin(), file_.begin() + kFileHeaderSize);
    bool inserted = false;
    for (const Chunk& chunk : chunks_) {
        const ByteSpan bytes = chunk.bytes();
        output_.insert(output_.end(), bytes.begin(), bytes.end());
        if (chunk.kind == ChunkKind::ContentsInfo && insertOptionalData && !inserted) {
            output_.insert(output_.end(), opda.begin(), opda.end());
            inserted = true;
        }
    }
    closeFile(output_);
}

// A compressed input is written compressed again. An empty sequence has no
// compressed form that fits its place and stays as it is.
void Engine::compressOutput() {
    const auto where = findCompressedSequence(output_);
    if (!where || where->bodySize == 0) return;
    const ByteVector packed = huffmanEncode(ByteSpan(output_).subspan(where->bodyStart, where->bodySize));
    replaceSequence(output_, *where, packed);
}

}  // namespace keldro::tavi
