#pragma once
// The 16-bit CRC that closes every TAVI file and seeds the converter's
// signature: polynomial 0x1021, initial value 0xFFFF, not reflected, result
// inverted.
#include <cstdint>

#include "platform/Bytes.h"

namespace keldro::tavi {

std::uint16_t crc16(ByteSpan data);

}  // namespace keldro::tavi
