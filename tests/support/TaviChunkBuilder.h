#pragma once
// Small builders for TAVI test fixtures: chunks and sub-chunks with computed
// sizes, track headers, the two variable-length number forms, exclusive
// messages and a whole "MMMD" file with its length field and CRC. Every
// fixture is assembled piece by piece from these; no sample files are used.
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>

#include "EffectBlock.h"  // beside this header
#include "volume/VolumeSettings.h"
#include "platform/Bytes.h"
#include "tavi/Rules.h"

namespace keldro::tavitest {

using namespace keldro::tavi;

using Bytes = ByteVector;

inline void append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

inline Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) append(out, p);
    return out;
}

inline Bytes text(std::string_view s) { return Bytes(s.begin(), s.end()); }

inline Bytes u16be(std::uint32_t v) { return {static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)}; }

inline Bytes u32be(std::uint32_t v) {
    return {static_cast<std::uint8_t>(v >> 24), static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8),
            static_cast<std::uint8_t>(v)};
}

// Big-endian 32-bit value at an offset (the test must know it fits).
inline std::uint32_t readU32(const Bytes& b, std::size_t at) {
    return (std::uint32_t{b.at(at)} << 24) | (std::uint32_t{b.at(at + 1)} << 16) | (std::uint32_t{b.at(at + 2)} << 8) |
           std::uint32_t{b.at(at + 3)};
}

// A chunk or sub-chunk: 4-byte ID, 4-byte big-endian body size, body.
inline Bytes chunk(std::string_view id4, const Bytes& body) {
    Bytes out = text(id4.substr(0, 4));
    append(out, u32be(static_cast<std::uint32_t>(body.size())));
    append(out, body);
    return out;
}

// A chunk whose ID is a 3-character prefix and a number byte ("MTR", 5).
inline Bytes chunk(std::string_view prefix3, std::uint8_t number, const Bytes& body) {
    Bytes out = text(prefix3.substr(0, 3));
    out.push_back(number);
    append(out, u32be(static_cast<std::uint32_t>(body.size())));
    append(out, body);
    return out;
}

// Drops the last n bytes of a chunk, keeping its own size field honest, so
// that its last sub-chunk claims more than the chunk holds.
inline Bytes cutLast(Bytes c, std::size_t n) {
    c.resize(c.size() - n);
    ByteWriter::patchBE(c, 4, static_cast<std::uint32_t>(c.size() - 8), 4);
    return c;
}

// Short duration / gate time form of VQ-2 and audio sequences.
inline Bytes shortForm(std::uint32_t value) {
    if (value < 128) return {static_cast<std::uint8_t>(value)};
    return {static_cast<std::uint8_t>(((value >> 7) - 1) | 0x80), static_cast<std::uint8_t>(value & 0x7F)};
}

// MIDI-style variable-length quantity: 7 bits a byte, most significant first.
inline Bytes varlen(std::uint32_t value) {
    Bytes out{static_cast<std::uint8_t>(value & 0x7F)};
    while (value >>= 7) out.insert(out.begin(), static_cast<std::uint8_t>((value & 0x7F) | 0x80));
    return out;
}

// Exclusive message of VQ-3/5/7 sequences and setup data: 0xF0, length, the
// data and a closing 0xF7 (counted in the length).
inline Bytes exclusive(const Bytes& dataWithoutEnd) {
    Bytes out{0xF0};
    append(out, varlen(static_cast<std::uint32_t>(dataWithoutEnd.size() + 1)));
    append(out, dataWithoutEnd);
    out.push_back(0xF7);
    return out;
}

// Exclusive message with four neutral leading data bytes, the command byte
// (data byte 4) and its payload: the form volume messages take.
inline Bytes commandExclusive(std::uint8_t command, const Bytes& payload) {
    Bytes data{0x7D, 0x01, 0x02, 0x03, command};
    append(data, payload);
    return exclusive(data);
}
inline Bytes vq35MasterVolume(std::uint8_t v) { return commandExclusive(0x00, {v, 0x00}); }
inline Bytes vq7MasterVolume(std::uint8_t v) { return commandExclusive(0x20, {v}); }
inline Bytes vq7MaxGain(std::uint8_t code) { return commandExclusive(0x22, {code}); }
inline Bytes vq7EffectSelect(std::uint8_t v) { return commandExclusive(0x2D, {v}); }

using test::effectBlock;
inline Bytes vq7EffectParameters(std::initializer_list<Bytes> blocks) {
    Bytes payload;
    for (const Bytes& b : blocks) append(payload, b);
    return commandExclusive(0x27, payload);
}

// Exclusive message of VQ-2 sequences: 0xFF 0xF0, one length byte, data, 0xF7.
inline Bytes vq2Exclusive(const Bytes& dataWithoutEnd) {
    Bytes out{0xFF, 0xF0, static_cast<std::uint8_t>(dataWithoutEnd.size() + 1)};
    append(out, dataWithoutEnd);
    out.push_back(0xF7);
    return out;
}

// Score track header: 6 bytes for tracks 1..4, 20 for 5 and 6, 36 for 7.
inline Bytes scoreTrackHeader(int track, std::uint8_t durationCode = 0, std::uint8_t gateCode = 0,
                              std::uint8_t format = 0) {
    std::size_t length = track <= 4 ? 6 : (track <= 6 ? 20 : 36);
    Bytes h(length, 0);
    h[0] = format;
    h[2] = durationCode;
    h[3] = gateCode;
    return h;
}

// Audio track header: 4 uninterpreted bytes, then the two timebase codes.
inline Bytes audioTrackHeader(std::uint8_t durationCode = 0, std::uint8_t gateCode = 0) {
    return {0, 0, 0, 0, durationCode, gateCode};
}

// Start and stop point body of "MspI" / "AspI": "st:" + 4 bytes, ",", "sp:" + 4 bytes, ",".
inline Bytes pointBody(std::uint32_t start, std::uint32_t stop) {
    return cat({text("st:"), u32be(start), text(","), text("sp:"), u32be(stop), text(",")});
}

inline Bytes scoreTrack(int track, const Bytes& header, std::initializer_list<Bytes> subChunks) {
    Bytes body = header;
    for (const Bytes& s : subChunks) append(body, s);
    return chunk("MTR", static_cast<std::uint8_t>(track), body);
}

inline Bytes audioTrack(const Bytes& header, std::initializer_list<Bytes> subChunks) {
    Bytes body = header;
    for (const Bytes& s : subChunks) append(body, s);
    return chunk("ATR", 0, body);
}

// CRC-16 of the file format (poly 0x1021, init 0xFFFF, final XOR 0xFFFF), bit
// by bit so that it checks a table-driven implementation independently.
inline std::uint16_t referenceCrc16(std::span<const std::uint8_t> data) {
    std::uint16_t crc = 0xFFFF;
    for (std::uint8_t byte : data) {
        crc = static_cast<std::uint16_t>(crc ^ (byte << 8));
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<std::uint16_t>((crc & 0x8000) ? ((crc << 1) ^ 0x1021) : (crc << 1));
    }
    return static_cast<std::uint16_t>(crc ^ 0xFFFF);
}

// A whole file: "MMMD", length of what follows (CRC included), chunks, CRC.
inline Bytes taviFile(std::initializer_list<Bytes> chunks) {
    Bytes body;
    for (const Bytes& c : chunks) append(body, c);
    Bytes out = cat({text("MMMD"), u32be(static_cast<std::uint32_t>(body.size() + 2)), body});
    append(out, u16be(referenceCrc16(out)));
    return out;
}

}  // namespace keldro::tavitest
