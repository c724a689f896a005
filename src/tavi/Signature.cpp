// The converter's signature "A0": stamped into the contents info chunk
// ("CNTI") of files without optional data, or into the signature data
// sub-chunk ("Dch" 0xFF) of the optional data chunk ("OPDA").
#include <string>

#include "volume/Result.h"
#include "tavi/EngineState.h"
#include "tavi/Writer.h"
#include "platform/ChunkReader.h"

namespace keldro::tavi {
namespace {

constexpr std::size_t kContentsInfoFixedBytes = 5;
constexpr std::size_t kContentsInfoMinimumTag = 4;
constexpr std::size_t kSubChunkHeaderSize = 8;
constexpr ChunkForm kDataTagForm{2, 2};          // 2-byte name, 2-byte data length
constexpr std::size_t kDataTagHeaderSize = kDataTagForm.headerBytes();
constexpr std::size_t kMinimumProgramBody = 12;   // "Pro" sub-chunk
constexpr std::uint8_t kSignatureDataId = 0xFF;   // fourth ID byte of the signature "Dch"
constexpr std::size_t kNoComma = static_cast<std::size_t>(-1);

void append(ByteVector& out, ByteSpan bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); }

bool isShiftJisLead(std::uint8_t b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// Offset of the comma ending the tag that starts at `from`. A two-byte
// Shift_JIS character is one unit (its second byte may look like a comma or
// a backslash), and a comma right after a backslash belongs to the value.
std::size_t findTagEnd(ByteSpan body, std::size_t from) {
    bool afterBackslash = false;
    for (std::size_t i = from; i < body.size();) {
        const std::uint8_t b = body[i];
        if (isShiftJisLead(b)) {
            i += 2;
            afterBackslash = false;
            continue;
        }
        if (b == ',' && !afterBackslash) return i;
        afterBackslash = b == '\\';
        ++i;
    }
    return kNoComma;
}

void patchChunkSize(ByteVector& chunk, std::size_t at) {
    ByteWriter::patchBE(chunk, at + 4, static_cast<std::uint32_t>(chunk.size() - at - kChunkHeaderSize), 4);
}

}  // namespace

ByteVector Engine::contentsInfoA0Tag() const {
    ByteVector tag{'A', '0', ':', 'K', 'Q', '1', '1'};
    tag.push_back(static_cast<std::uint8_t>(atSigDigit1_));
    tag.push_back(static_cast<std::uint8_t>(atSigDigit2_));
    return tag;
}

ByteVector Engine::optionalDataA0Tag() const {
    ByteVector tag{'A', '0', 0x00, 0x06, 'K', 'Q', '1', '1'};
    tag.push_back(static_cast<std::uint8_t>(atSigDigit1_));
    tag.push_back(static_cast<std::uint8_t>(atSigDigit2_));
    return tag;
}

ByteVector Engine::signatureDataSubChunk() const {
    const ByteVector tag = optionalDataA0Tag();
    ByteVector sub{'D', 'c', 'h', kSignatureDataId};
    ByteWriter(sub).u32(static_cast<std::uint32_t>(tag.size()));
    append(sub, tag);
    return sub;
}

ByteVector Engine::signatureOptionalDataChunk() const {
    const ByteVector sub = signatureDataSubChunk();
    ByteVector chunk{'O', 'P', 'D', 'A'};
    ByteWriter(chunk).u32(static_cast<std::uint32_t>(sub.size()));
    append(chunk, sub);
    return chunk;
}

// Third walk: the signature carriers, after the tracks that it is made from.
Result Engine::stampSignature() {
    for (Chunk& chunk : chunks_) {
        Result rc = Result::Converted;
        if (chunk.kind == ChunkKind::ContentsInfo) rc = stampContentsInfo(chunk.edit());
        if (chunk.kind == ChunkKind::OptionalData) rc = stampOptionalData(chunk.edit());
        if (!ok(rc)) return rc;
    }
    return Result::Converted;
}

// CNTI body: 5 fixed bytes, then tags "XX:value," up to a remainder of fewer
// than 4 bytes, which is kept as it is.
Result Engine::stampContentsInfo(ByteVector& chunk) {
    const ByteSpan body = ByteSpan(chunk).subspan(kChunkHeaderSize);
    if (body.size() == kContentsInfoFixedBytes) return Result::Converted;
    ByteVector out(chunk.begin(), chunk.begin() + kChunkHeaderSize + kContentsInfoFixedBytes);
    std::size_t pos = kContentsInfoFixedBytes;
    while (body.size() - pos >= kContentsInfoMinimumTag) {
        const std::size_t comma = findTagEnd(body, pos);
        if (comma == kNoComma) return Result::TagSizeCnti;
        if (Result rc = stampContentsInfoTag(body.subspan(pos, comma - pos), out); !ok(rc)) return rc;
        out.push_back(',');
        pos = comma + 1;
    }
    append(out, body.subspan(pos));
    if (generation_ == 2 && !hasOptionalData_ && !contentsInfoA0Seen_) return Result::NoAtSig;
    chunk = std::move(out);
    patchChunkSize(chunk, 0);
    return Result::Converted;
}

// One CNTI tag without its comma. "A1:" and "A2:" belong to files whose
// signature lives in CNTI; "A0:" is that signature and is rewritten.
Result Engine::stampContentsInfoTag(ByteSpan tag, ByteVector& out) {
    if (hasBytesAt(tag, 0, "A1:") || hasBytesAt(tag, 0, "A2:")) {
        if (hasOptionalData_) return Result::IllegalAtSig;
    } else if (hasBytesAt(tag, 0, "A0:")) {
        if (hasOptionalData_ || contentsInfoA0Seen_) return Result::IllegalAtSig;
        contentsInfoA0Seen_ = true;
        if (tag.size() != 9 && tag.size() != 10) return Result::TagSizeCnti;
        lastA0Text_.assign(tag.begin() + 3, tag.end());
        if (tag.size() == 10 && tag[5] == 'O') {
            // Keeps the length of a ten-character signature.
            const std::size_t at = out.size();
            append(out, tag);
            out[at + 3] = 'K';
            out[at + 4] = 'Q';
            out[at + 6] = '1';
            out[at + 8] = static_cast<std::uint8_t>(atSigDigit1_);
            out[at + 9] = static_cast<std::uint8_t>(atSigDigit2_);
        } else {
            append(out, contentsInfoA0Tag());
        }
        return Result::Converted;
    }
    append(out, tag);
    return Result::Converted;
}

// OPDA body: "Dch" data sub-chunks and "Pro" sub-chunks; a remainder shorter
// than a sub-chunk header is kept. When no signature "Dch" has been met so
// far in the file, one is added.
Result Engine::stampOptionalData(ByteVector& chunk) {
    const ByteSpan body = ByteSpan(chunk).subspan(kChunkHeaderSize);
    ByteVector out(chunk.begin(), chunk.begin() + kChunkHeaderSize);
    ChunkReader subs(body);
    while (const auto sub = subs.next()) {
        if (cancelRequested()) return Result::Cancel;
        if (sub->is("Dch")) {
            if (!sub->fits) return Result::ChunkSizeDch;
            if (Result rc = stampDataSubChunk(sub->whole, out); !ok(rc)) return rc;
            signatureDataFound_ = signatureDataFound_ || sub->id[3] == kSignatureDataId;
        } else if (sub->is("Pro")) {
            if (sub->size < kMinimumProgramBody || !sub->fits) return Result::ChunkSizePro;
            append(out, sub->whole);
        } else {
            return Result::NonsupportChunkIdOpda;
        }
    }
    append(out, subs.rest());
    if (!signatureDataFound_) append(out, signatureDataSubChunk());
    chunk = std::move(out);
    patchChunkSize(chunk, 0);
    return Result::Converted;
}

// One "Dch" sub-chunk: tags of 2-byte name, 2-byte length and data, up to a
// remainder of 4 bytes or less, which is kept.
Result Engine::stampDataSubChunk(ByteSpan sub, ByteVector& out) {
    const std::size_t start = out.size();
    append(out, sub.first(kSubChunkHeaderSize));
    bool hasA0 = false;
    ChunkReader tags(sub.subspan(kSubChunkHeaderSize), kDataTagForm);
    while (tags.remaining() > kDataTagHeaderSize) {
        const auto found = tags.next();
        if (!found) break;  // a whole header is left, so never here
        if (!found->fits) return Result::TagSizeOpda;
        const ByteSpan tag = found->whole;
        if (!hasBytesAt(tag, 0, "A0")) {
            append(out, tag);
            continue;
        }
        if (hasA0) return Result::IllegalAtSig;
        hasA0 = true;
        if (tag.size() != 10 && tag.size() != 11) return Result::TagSizeOpda;
        lastA0Text_.assign(tag.begin() + kDataTagHeaderSize, tag.end());
        if (generation_ == 2 && tag.size() == 11 && tag[kDataTagHeaderSize + 2] == 'O') {
            const std::size_t data = out.size() + kDataTagHeaderSize;
            append(out, tag);
            out[data + 0] = 'K';
            out[data + 1] = 'Q';
            out[data + 3] = '1';
            out[data + 5] = static_cast<std::uint8_t>(atSigDigit1_);
            out[data + 6] = static_cast<std::uint8_t>(atSigDigit2_);
        } else {
            append(out, optionalDataA0Tag());
        }
    }
    append(out, tags.rest());
    if (sub[3] == kSignatureDataId && !hasA0) return Result::NoAtSig;
    patchChunkSize(out, start);
    return Result::Converted;
}

}  // namespace keldro::tavi
