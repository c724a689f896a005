// The codec of compressed score sequences: expansion of any packed body, and
// the round trip of whatever it expands to and of the raw bytes themselves.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "tavi/Huffman.h"

using namespace keldro::tavi;

using namespace keldro;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ByteSpan packed(data, size);
    ByteVector plain;
    if (huffmanDecode(packed, plain)) {
        if (plain.size() > kMaxPlainSequenceLength) std::abort();
        // Every code takes a bit of the packed body, except under a tree of
        // one leaf, whose codes are empty: then the byte repeats.
        if (plain.size() > size * 8 && std::memcmp(plain.data(), plain.data() + 1, plain.size() - 1) != 0) std::abort();
        // Packing is checked on bodies up to 1 MiB; the longest expansions are
        // runs of one byte, whose packing the raw round trip below covers.
        if (plain.size() > (1u << 20)) return 0;
        const ByteVector repacked = huffmanEncode(plain);
        ByteVector again;
        if (!huffmanDecode(repacked, again) || again != plain) std::abort();
    }
    const ByteVector packedRaw = huffmanEncode(packed);
    ByteVector back;
    if (!huffmanDecode(packedRaw, back) || back != ByteVector(data, data + size)) std::abort();
    return 0;
}
