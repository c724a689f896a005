#include "tavi/TaviWriter.h"

#include <algorithm>

#include "tavi/Crc16.h"
#include "tavi/Huffman.h"
#include "tavi/TaviEngine.h"

namespace keldro {
namespace {

constexpr std::size_t kTrackHeaderOfCompressedTrack = 20;  // walked past whatever the track number
constexpr std::uint8_t kCompressedFormat = 1;

// The first "Mtsq" among the sub-chunks of a compressed track's body.
std::optional<SequenceLocation> findSequenceInTrack(ByteSpan file, std::size_t trackStart, std::size_t bodyEnd) {
    std::uint64_t pos = trackStart + kChunkHeaderSize + kTrackHeaderOfCompressedTrack;
    while (pos + kChunkHeaderSize <= bodyEnd) {
        const auto at = static_cast<std::size_t>(pos);
        const std::uint64_t size = *readBE(file, at + 4, 4);
        const std::uint64_t end = pos + kChunkHeaderSize + size;
        if (end > bodyEnd) return std::nullopt;
        if (hasBytesAt(file, at, "Mtsq"))
            return SequenceLocation{trackStart, at + kChunkHeaderSize, static_cast<std::size_t>(size)};
        pos = end;
    }
    return std::nullopt;
}

}  // namespace

std::optional<SequenceLocation> findCompressedSequence(ByteSpan file) {
    std::uint64_t start = kFileHeaderSize;
    while (start + kChunkHeaderSize < file.size()) {
        const auto at = static_cast<std::size_t>(start);
        const std::uint64_t size = *readBE(file, at + 4, 4);
        const std::uint64_t next = start + kChunkHeaderSize + size;
        if (hasBytesAt(file, at, "MTR")) {
            const auto bodyEnd = static_cast<std::size_t>(std::min<std::uint64_t>(next, file.size()));
            const std::size_t formatAt = at + kChunkHeaderSize;
            if (formatAt >= bodyEnd || file[formatAt] != kCompressedFormat) return std::nullopt;
            if (auto found = findSequenceInTrack(file, at, bodyEnd)) return found;
        }
        start = next;
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

    const auto trackSize = *readBE(rebuilt, where.trackStart + 4, 4);
    ByteWriter::patchBE(rebuilt, where.bodyStart - 4, static_cast<std::uint32_t>(body.size()), 4);
    ByteWriter::patchBE(rebuilt, where.trackStart + 4,
                        static_cast<std::uint32_t>(trackSize + body.size() - oldSize), 4);
    ByteWriter::patchBE(rebuilt, 4, static_cast<std::uint32_t>(rebuilt.size() - kFileHeaderSize), 4);
    const std::size_t crcAt = rebuilt.size() - kCrcSize;
    ByteWriter::patchBE(rebuilt, crcAt, Crc16(ByteSpan(rebuilt).first(crcAt)), 2);
    file = std::move(rebuilt);
}

void closeFile(ByteVector& file) {
    ByteWriter::patchBE(file, 4, static_cast<std::uint32_t>(file.size() + kCrcSize - kFileHeaderSize), 4);
    ByteWriter(file).u16(Crc16(file));
}

}  // namespace keldro

// ---- The engine's writing steps ----

namespace keldro {

// Works from an expanded copy when the first score track is compressed.
// Data that cannot be honestly expanded is used as read, as if memory for
// the expansion had run out.
void TaviEngine::expandInput() {
    const auto where = findCompressedSequence(work_);
    if (!where) return;
    ByteVector plain;
    if (!HuffmanDecode(ByteSpan(work_).subspan(where->bodyStart, where->bodySize), plain)) return;
    replaceSequence(work_, *where, plain);
    inputCompressed_ = true;
}

// Header, the chunks as converted, the signature OPDA after CNTI where a
// VQ-3/5 file has none, a fresh length field and CRC.
void TaviEngine::assembleOutput() {
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
void TaviEngine::compressOutput() {
    const auto where = findCompressedSequence(output_);
    if (!where || where->bodySize == 0) return;
    const ByteVector packed = HuffmanEncode(ByteSpan(output_).subspan(where->bodyStart, where->bodySize));
    replaceSequence(output_, *where, packed);
}

}  // namespace keldro
