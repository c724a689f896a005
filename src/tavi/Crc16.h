#pragma once
// The 16-bit CRC that closes every TAVI file and seeds the converter's
// signature: polynomial 0x1021, initial value 0xFFFF, not reflected, result
// inverted.
#include <cstdint>

#include "platform/Bytes.h"

namespace keldro::tavi {

std::uint16_t crc16(ByteSpan data);

// The same CRC over data that comes in pieces: adding a, then b gives the
// CRC of a followed by b, without joining them first.
class Crc16Stream {
public:
    void add(ByteSpan data);
    std::uint16_t value() const { return static_cast<std::uint16_t>(register_ ^ 0xFFFFu); }

private:
    std::uint16_t register_ = 0xFFFF;
};

}  // namespace keldro::tavi
