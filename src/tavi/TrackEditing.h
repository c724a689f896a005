#pragma once
// Pieces shared by the score and audio track converters: the number forms of
// the sequences, timebase codes and the byte splices that insert or replace
// events without moving any other event in time.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/Bytes.h"

namespace keldro::tavi::trackedit {

// Milliseconds per tick of a track header's timebase code; unknown codes count as 1.
inline std::uint8_t timebaseMs(std::uint8_t code) {
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

// Replaces `removed` bytes at offset `at` of a sequence body by up to eight
// inserted bytes, held in the splice itself: a long sequence may get one
// splice per note, and none of them allocates. Sequence bodies are chunk
// bodies, whose sizes are 32-bit.
struct Splice {
    std::uint32_t at = 0;
    std::uint8_t removed = 0;
    std::uint8_t size = 0;
    std::array<std::uint8_t, 8> bytes{};

    static Splice of(std::size_t at, std::size_t removed, ByteSpan inserted) {
        Splice s;
        s.at = static_cast<std::uint32_t>(at);
        s.removed = static_cast<std::uint8_t>(removed);
        s.size = static_cast<std::uint8_t>(std::min(inserted.size(), s.bytes.size()));
        std::copy_n(inserted.begin(), s.size, s.bytes.begin());
        return s;
    }
    ByteSpan inserted() const { return ByteSpan(bytes.data(), size); }
};

// Applies splices given in ascending, non-overlapping order in one linear pass.
inline ByteVector applySplices(ByteSpan body, const std::vector<Splice>& splices) {
    std::size_t size = body.size();
    for (const Splice& s : splices) size += s.size - std::size_t{s.removed};
    ByteVector out;
    out.reserve(size);
    std::size_t copied = 0;
    for (const Splice& s : splices) {
        out.insert(out.end(), body.begin() + static_cast<std::ptrdiff_t>(copied),
                   body.begin() + static_cast<std::ptrdiff_t>(s.at));
        const ByteSpan inserted = s.inserted();
        out.insert(out.end(), inserted.begin(), inserted.end());
        copied = std::size_t{s.at} + s.removed;
    }
    out.insert(out.end(), body.begin() + static_cast<std::ptrdiff_t>(copied), body.end());
    return out;
}

// The same for splices that only insert, on the body that ends `buffer` from
// `bodyAt` on, in place: the buffer grows to its new size and each stretch
// moves to its place, the last one first. Where the storage is too small it
// grows by a quarter at least, with room for the `thenAppended` bytes still
// to come, so that many small bodies in a row are not copied again each
// time. Returns the new body size.
inline std::size_t applyInsertsInPlace(ByteVector& buffer, std::size_t bodyAt, const std::vector<Splice>& splices,
                                       std::size_t thenAppended) {
    std::size_t grown = 0;
    for (const Splice& s : splices) grown += s.size;
    std::size_t from = buffer.size();
    const std::size_t needed = from + grown + thenAppended;
    if (buffer.capacity() < needed) buffer.reserve(std::max(needed, buffer.capacity() + buffer.capacity() / 4));
    buffer.resize(from + grown);
    std::size_t to = buffer.size();
    for (auto s = splices.rbegin(); s != splices.rend(); ++s) {
        const std::size_t stretch = bodyAt + s->at;
        to -= from - stretch;
        std::memmove(buffer.data() + to, buffer.data() + stretch, from - stretch);
        to -= s->size;
        std::memcpy(buffer.data() + to, s->bytes.data(), s->size);
        from = stretch;
    }
    return buffer.size() - bodyAt;
}

}  // namespace keldro::tavi::trackedit
