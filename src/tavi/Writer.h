#pragma once
// File-level helpers shared by the expansion of a compressed input and the
// writing of the converted file: finding the compressed score sequence,
// replacing a sequence body with its size fields and CRC.
#include <cstddef>
#include <cstdint>
#include <optional>

#include "tavi/Layout.h"
#include "platform/Bytes.h"

namespace keldro::tavi {

// Where the compressed "Mtsq" of a file sits.
struct SequenceLocation {
    std::size_t trackStart = 0;  // offset of the "MTR" chunk header
    std::size_t bodyStart = 0;   // offset of the "Mtsq" body
    std::size_t bodySize = 0;
};

// The "Mtsq" of the first score track whose format byte marks compressed
// data; none when the first score track met is plain or no track qualifies.
std::optional<SequenceLocation> findCompressedSequence(ByteSpan file);

// Replaces the located body by `body`, rewriting the "Mtsq" size, the track
// size, the file length field and the closing CRC.
void replaceSequence(ByteVector& file, const SequenceLocation& where, ByteSpan body);

// Rewrites the length field and appends the CRC of everything before it.
void closeFile(ByteVector& file);

}  // namespace keldro::tavi
