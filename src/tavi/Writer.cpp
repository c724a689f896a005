#include "tavi/Writer.h"

#include "tavi/Crc16.h"
#include "tavi/Huffman.h"
#include "tavi/EngineState.h"
#include "platform/ChunkReader.h"

namespace keldro::tavi {
namespace {

constexpr std::size_t kTrackHeaderOfCompressedTrack = 20;  // walked past whatever the track number
constexpr std::uint8_t kCompressedFormat = 1;

// The first "Mtsq" among the sub-chunks of a compressed track's body.
std::optional<SequenceLocation> findSequenceInTrack(const ChunkView& track) {
    ChunkReader subs(track.body);
    if (!subs.seek(kTrackHeaderOfCompressedTrack)) return std::nullopt;
    while (const auto sub = subs.next()) {
        if (!sub->fits) return std::nullopt;
        if (sub->is("Mtsq")) return SequenceLocation{track.headerAt, track.bodyAt + sub->bodyAt, sub->size};
    }
    return std::nullopt;
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
        if (!track->is("MTR")) continue;
        if (track->reader().peek() != kCompressedFormat) return std::nullopt;
        if (auto found = findSequenceInTrack(*track)) return found;
    }
    return std::nullopt;
}

void replaceSequence(ByteVector& file, const SequenceLocation& where, ByteSpan body) {
    const std::size_t oldSize = where.bodySize;
    ByteVector rebuilt;
    rebuilt.reserve(file.size() - oldSize + body.size());
    rebuilt.insert(rebuilt.end(), file.begin(), file.begin() + static_cast<std::ptrdiff_t>(where.bodyStart));
    rebuilt.insert(rebuilt.end(), body.begin(), body.end());
    rebuilt.insert(rebuilt.end(), file.begin() + static_cast<std::ptrdiff_t>(where.bodyStart + oldSize), file.end());

    ByteWriter::patchBE(rebuilt, where.bodyStart - 4, static_cast<std::uint32_t>(body.size()), 4);
    ByteWriter::addBE(rebuilt, where.trackStart + 4, static_cast<std::uint32_t>(body.size() - oldSize), 4);
    ByteWriter::patchBE(rebuilt, 4, static_cast<std::uint32_t>(rebuilt.size() - kFileHeaderSize), 4);
    const std::size_t crcAt = rebuilt.size() - kCrcSize;
    ByteWriter::patchBE(rebuilt, crcAt, crc16(ByteSpan(rebuilt).first(crcAt)), 2);
    file = std::move(rebuilt);
}

void closeFile(ByteVector& file) {
    ByteWriter::patchBE(file, 4, static_cast<std::uint32_t>(file.size() + kCrcSize - kFileHeaderSize), 4);
    ByteWriter(file).u16(crc16(file));
}

}  // namespace keldro::tavi

// ---- The engine's writing steps ----

namespace keldro::tavi {

// Works from an expanded copy when the first score track is compressed.
// Data that cannot be honestly expanded is used as read, as if memory for
// the expansion had run out.
void Engine::expandInput() {
    const auto where = findCompressedSequence(work_);
    if (!where) return;
    ByteVector plain;
    if (!huffmanDecode(ByteSpan(work_).subspan(where->bodyStart, where->bodySize), plain)) return;
    replaceSequence(work_, *where, plain);
    inputCompressed_ = true;
}

// Header, the chunks as converted, the signature OPDA after CNTI where a
// VQ-3/5 file has none, a fresh length field and CRC.
void Engine::assembleOutput() {
    output_.assign(work_.begin(), work_.begin() + kFileHeaderSize);
    const bool insertOptionalData = !hasOptionalData_ && (generation_ == 3 || generation_ == 5);
    bool inserted = false;
    for (const Chunk& chunk : chunks_) {
        output_.insert(output_.end(), chunk.bytes.begin(), chunk.bytes.end());
        if (chunk.kind == ChunkKind::ContentsInfo && insertOptionalData && !inserted) {
            const ByteVector opda = signatureOptionalDataChunk();
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
