#include "tavi/Crc16.h"

#include <array>
#include <cstddef>

namespace keldro::tavi {
namespace {

// Bytes taken per step of the fast loop ("slicing"): a table per byte
// position, so the bytes of one step are looked up independently and only
// the 16-bit register carries over from step to step.
constexpr std::size_t kSlice = 16;
using SliceTables = std::array<std::array<std::uint16_t, 256>, kSlice>;

// tables[0][b]: the register after byte b, starting from 0 (the classic
// byte-at-a-time table). tables[k][b]: the same followed by k zero bytes.
// The CRC is linear, so the register after a step is the XOR of what each
// byte does on its own, with the old register folded into the first two.
constexpr SliceTables makeTables() {
    SliceTables tables{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        unsigned crc = byte << 8;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000u) ? (crc << 1) ^ 0x1021u : crc << 1;
        tables[0][byte] = static_cast<std::uint16_t>(crc);
    }
    for (std::size_t k = 1; k < kSlice; ++k)
        for (unsigned byte = 0; byte < 256; ++byte) {
            const unsigned previous = tables[k - 1][byte];
            tables[k][byte] = static_cast<std::uint16_t>((previous << 8) ^ tables[0][previous >> 8]);
        }
    return tables;
}

constexpr SliceTables kTables = makeTables();

unsigned addByte(unsigned crc, std::uint8_t b) { return ((crc << 8) ^ kTables[0][((crc >> 8) ^ b) & 0xFFu]) & 0xFFFFu; }

// One step of kSlice bytes: byte i is still followed by kSlice-1-i bytes.
unsigned addSlice(unsigned crc, const std::uint8_t* bytes) {
    unsigned next = kTables[kSlice - 1][(crc >> 8) ^ bytes[0]] ^ kTables[kSlice - 2][(crc & 0xFFu) ^ bytes[1]];
    for (std::size_t i = 2; i < kSlice; ++i) next ^= kTables[kSlice - 1 - i][bytes[i]];
    return next;
}

}  // namespace

void Crc16Stream::add(ByteSpan data) {
    unsigned crc = register_;
    std::size_t i = 0;
    for (; data.size() - i >= kSlice; i += kSlice) crc = addSlice(crc, data.data() + i);
    for (; i < data.size(); ++i) crc = addByte(crc, data[i]);
    register_ = static_cast<std::uint16_t>(crc);
}

std::uint16_t crc16(ByteSpan data) {
    Crc16Stream crc;
    crc.add(data);
    return crc.value();
}

}  // namespace keldro::tavi
