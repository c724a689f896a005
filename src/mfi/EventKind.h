#pragma once
// The kinds of MFi events, decided from an event's bytes alone. Kinds are only
// compared with each other; their values are dense so that per-kind tables can
// be indexed by them, and no value is stored outside the running program.
//
// Kinds with a known meaning carry its name. The others are named after the
// bytes that identify them: short events (status 0xFF) by their first
// parameter, escape events (status 0x7F) by the byte after the status, data
// blocks by their class and id bytes.
#include <cstddef>
#include <cstdint>

namespace keldro::mfi {

enum class EventKind : std::uint8_t {
    Unclassified,  // bytes that match no kind, and "no event"

    // Kinds with a meaning.
    Note,            // any status but 0x7F and 0xFF; the channel sits in the status
    MasterVolume,    // short 0xB0: the loudness of the whole file (track 0)
    ChannelVolume,   // short 0xE2: the volume of one channel of a track
    Tempo,           // short 0xC0 to 0xCF: timebase code and beats per minute
    Nop,             // short 0xDE 0x00: does nothing; fills gaps longer than one delta
    MaxGain,         // block class 0xF3, id 0x03: attenuation of the whole file
    AdpcmNote,       // block class 0xF1, id exactly 0x20: plays an audio data item
    AdpcmVolume,     // block class 0xF2, id 0x01: the volume of the audio data
    EffectSettings,  // block class 0xF0, id 0x0F: the effect blocks (type, level)
    EffectSelect,    // block class 0xF3, id 0x0B: switches to one effect block
    EffectSend,      // block class 0xF1, id low bits 0x0F: how much of a channel goes to the effect

    // Short events (status 0xFF) by their first parameter.
    ShortBA,
    ShortD0Zero,  // second parameter 0
    ShortD0One,   // second parameter 1
    ShortDD,
    ShortDFZero,  // second parameter 0
    ShortE0,      // the E0 ... EA events carry a channel in the second parameter
    ShortE1,
    ShortE3,
    ShortE4,
    ShortE7,
    ShortE9,
    ShortEA,

    // Escape events (status 0x7F) by the byte after the status.
    Escape00,  // five bytes; sounds on an "A" channel named in the first parameter
    Escape01,
    Escape80,
    Escape81,
    Escape90,
    EscapeBlock,  // 0x7F 0xF0 with a data block

    // Data blocks, class 0xF0.
    BlockF0Id01,
    BlockF0Id02,
    BlockF0Id03,
    BlockF0Id04,
    BlockF0Id05,
    BlockF0Id06,
    BlockF0Id07,
    BlockF0Id08,
    BlockF0Id0A,
    BlockF0Id0B,
    BlockF0Id0C,
    BlockF0Id0E,

    // Class 0xF1; ids compared on their low four bits unless noted.
    BlockF1Id01,
    BlockF1Id02,
    BlockF1Id03,  // sounds; channel in byte 3, a value in byte 5
    BlockF1Id05,  // channel in byte 3
    BlockF1Id06,  // id exactly 0x06
    BlockF1Id07,
    BlockF1Id08,
    BlockF1Id09,
    BlockF1Id0A,
    BlockF1Id0B,
    BlockF1Id0C,  // sounds; channel in byte 3
    BlockF1Id0D,
    BlockF1Id0E,

    // Class 0xF2.
    BlockF2Id04,
    BlockF2Id05,
    BlockF2Id06,
    BlockF2Id07,

    // Class 0xF3.
    BlockF3Id01,
    BlockF3Id02,
    BlockF3Id04,
    BlockF3Id07,
    BlockF3Id09,
    BlockF3Id0A,
};

// Number of kinds, for tables indexed by kind.
inline constexpr std::size_t kEventKindCount = static_cast<std::size_t>(EventKind::BlockF3Id0A) + 1;

constexpr std::size_t kindIndex(EventKind kind) { return static_cast<std::size_t>(kind); }

}  // namespace keldro::mfi
