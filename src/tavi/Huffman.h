#pragma once
// The codec of compressed score sequences. A packed body holds the plain
// length (4 bytes, big-endian), the code tree in pre-order (bit 1: internal
// node followed by its left and right subtrees; bit 0: leaf followed by its
// 8-bit byte), one code per plain byte (0 = left, 1 = right) and zero padding
// to the byte boundary. Bits are packed most significant first.
#include <cstdint>

#include "platform/Bytes.h"

namespace keldro::tavi {

// Largest plain length we agree to expand; anything longer is treated like a
// failed allocation by the caller.
inline constexpr std::uint32_t kMaxPlainSequenceLength = 16u * 1024u * 1024u;

// Expands a packed body into `plain`. False when the data cannot be honestly
// expanded: truncated, a tree of more than 255 internal nodes, a plain length
// above the bound or one the remaining bits cannot encode.
bool huffmanDecode(ByteSpan packed, ByteVector& plain);
// The same, appending the plain bytes to `out` (left as it was on failure)
// in storage with room for `roomAfter` more bytes after them.
bool huffmanDecodeAppending(ByteSpan packed, ByteVector& out, std::size_t roomAfter);

// Packs a plain body. The tree is built with a binary min-heap whose tie
// rules fix the exact bits, so the result is reproducible byte for byte.
ByteVector huffmanEncode(ByteSpan plain);

}  // namespace keldro::tavi
