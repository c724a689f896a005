#include "tavi/Crc16.h"

#include <array>

namespace keldro::tavi {
namespace {

constexpr std::array<std::uint16_t, 256> makeTable() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        unsigned crc = byte << 8;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000u) ? (crc << 1) ^ 0x1021u : crc << 1;
        table[byte] = static_cast<std::uint16_t>(crc);
    }
    return table;
}

constexpr std::array<std::uint16_t, 256> kTable = makeTable();

}  // namespace

std::uint16_t crc16(ByteSpan data) {
    unsigned crc = 0xFFFF;
    for (std::uint8_t b : data) crc = ((crc << 8) ^ kTable[((crc >> 8) ^ b) & 0xFFu]) & 0xFFFFu;
    return static_cast<std::uint16_t>(crc ^ 0xFFFFu);
}

}  // namespace keldro::tavi
