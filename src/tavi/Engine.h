#pragma once
// Converts one TAVI file ("MMMD") held in memory with the run's settings:
// bytes and settings in, the converted bytes and what was changed out.
#include <cstdint>
#include <string>

#include "platform/Bytes.h"
#include "volume/Result.h"
#include "volume/VolumeChangeRecord.h"
#include "volume/VolumeSettings.h"

namespace keldro::tavi {

// The largest TAVI file: the 32-bit length field after "MMMD" counts every
// byte behind the first eight.
inline constexpr std::uint64_t kLargestFileSize = 8 + std::uint64_t{0xFFFFFFFF};

// The chip generation a file is written for, decided by its tracks; the
// values are the numbers results and logs show (VQ-2 ... VQ-7).
enum class Generation : std::int8_t { Undecided = -1, Vq2 = 2, Vq3 = 3, Vq5 = 5, Vq7 = 7 };

// The number results and logs show: 2, 3, 5, 7, or -1 for undecided.
constexpr int kindNumber(Generation g) { return static_cast<int>(g); }

struct Conversion {
    Result result = Result::Converted;
    Generation generation = Generation::Undecided;
    ByteVector output;         // the converted file, only when result is 0
    VolumeChangeList changes;  // every change made, also when a later check failed
    std::string a0Text;        // the last "A0" signature text met or stamped
    // VQ-7, relative change: the MaxGain (attenuation steps) the file was
    // converted to, which the run keeps as its MaxGain setting; -1 none.
    int chosenMaxGain = -1;
};

// `keepChanges` false: nothing asks for the records, and none are kept
// (Conversion::changes stays empty).
Conversion convert(ByteSpan input, const VolumeSettings& settings, bool keepChanges = true);

// The first bytes of a file that decide whether its header can be good: the
// id and the length field.
inline constexpr std::size_t kFileHeadBytes = 8;
// What convert and findVolumes say of a file of `fileSize` bytes that starts
// with `head` (its first kFileHeadBytes, or all of a shorter file) when its
// size, id or length field refuses it; Converted when the rest decides.
// Lets a reader refuse a long file without reading it whole.
Result checkFileHead(ByteSpan head, std::uint64_t fileSize);

// The walk of a conversion that changes nothing: every volume and VQ-7
// MaxGain a conversion would change is recorded with its value as found
// (after = before), the volume a channel plays at before its first volume
// event included. What the file's levels are read from.
Conversion findVolumes(ByteSpan input);

}  // namespace keldro::tavi
