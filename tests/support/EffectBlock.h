#pragma once
// One 32-byte effect parameter block, as TAVI VQ-7 set-up data and MFi effect
// settings both carry them: the type in bytes 0-1, zeros, the level (depth)
// at byte 12. Tests and benchmarks build their effect fixtures from it.
#include <cstdint>

#include "platform/Bytes.h"

namespace keldro::test {

inline ByteVector effectBlock(int type, std::uint8_t level) {
    ByteVector block(32, 0);
    block[0] = static_cast<std::uint8_t>(type >> 8);
    block[1] = static_cast<std::uint8_t>(type);
    block[12] = level;
    return block;
}

}  // namespace keldro::test
