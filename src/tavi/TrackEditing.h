#pragma once
// Pieces shared by the score and audio track converters: the number forms of
// the sequences, timebase codes and the byte splices that insert or replace
// events without moving any other event in time.
#include <cstdint>
#include <vector>

#include "platform/Bytes.h"

namespace keldro::tavi::trackedit {

// Milliseconds per tick of a track header's timebase code; unknown codes count as 1.
inline int timebaseMs(std::uint8_t code) {
    switch (code) {
    case 0x01: return 2;
    case 0x02: return 4;
    case 0x03: return 5;
    case 0x10: return 10;
    case 0x11: return 20;
    case 0x12: return 40;
    case 0x13: return 50;
    default: return 1;
    }
}

// Short duration form of VQ-2 and audio sequences: one byte below 0x80, or two
// bytes where the first (bit 7 set) counts whole blocks of 128 beyond the first.
inline bool readShortForm(ByteReader& r, std::uint32_t& value) {
    auto first = r.u8();
    if (!first) return false;
    if ((*first & 0x80) == 0) {
        value = *first;
        return true;
    }
    auto second = r.u8();
    if (!second) return false;
    value = ((*first & 0x7Fu) + 1) * 128 + (*second & 0x7Fu);
    return true;
}

inline ByteVector shortForm(std::uint32_t value) {
    if (value < 128) return {static_cast<std::uint8_t>(value)};
    return {static_cast<std::uint8_t>(((value >> 7) - 1) | 0x80), static_cast<std::uint8_t>(value & 0x7F)};
}

// MIDI-style variable-length quantity, accumulated in 32 bits: the groups of
// an over-long number wrap as in any 32-bit reader of the format. Whatever
// the value, every read it leads to is still bounds-checked by the caller.
inline bool readVarlen(ByteReader& r, std::uint32_t& value) {
    std::uint32_t v = 0;
    for (;;) {
        auto b = r.u8();
        if (!b) return false;
        v = (v << 7) | (*b & 0x7Fu);
        if ((*b & 0x80) == 0) break;
    }
    value = v;
    return true;
}

// Replaces `removed` bytes at offset `at` of a sequence body by `inserted`.
struct Splice {
    std::size_t at = 0;
    std::size_t removed = 0;
    ByteVector inserted;
};

// Applies splices given in ascending, non-overlapping order in one linear pass.
inline ByteVector applySplices(ByteSpan body, const std::vector<Splice>& splices) {
    ByteVector out;
    out.reserve(body.size() + 4 * splices.size());
    std::size_t copied = 0;
    for (const Splice& s : splices) {
        out.insert(out.end(), body.begin() + static_cast<std::ptrdiff_t>(copied),
                   body.begin() + static_cast<std::ptrdiff_t>(s.at));
        out.insert(out.end(), s.inserted.begin(), s.inserted.end());
        copied = s.at + s.removed;
    }
    out.insert(out.end(), body.begin() + static_cast<std::ptrdiff_t>(copied), body.end());
    return out;
}

inline void putU32(ByteVector& b, std::size_t at, std::uint32_t v) { ByteWriter::patchBE(b, at, v, 4); }

}  // namespace keldro::tavi::trackedit
