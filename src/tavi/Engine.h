#pragma once
// Converts one TAVI file ("MMMD") held in memory through a host's volume
// rules: bytes in, the converted bytes and what was changed out.
#include <cstdint>
#include <string>

#include "platform/Bytes.h"
#include "volume/JobHost.h"
#include "volume/Result.h"
#include "volume/VolumeChangeRecord.h"

namespace keldro::tavi {

// The largest TAVI file: the 32-bit length field after "MMMD" counts every
// byte behind the first eight.
inline constexpr std::uint64_t kLargestFileSize = 8 + std::uint64_t{0xFFFFFFFF};

struct Conversion {
    Result result = Result::Converted;
    int generation = -1;       // 2, 3, 5 or 7 once the chunks decided it, else -1
    ByteVector output;         // the converted file, only when result is 0
    VolumeChangeList changes;  // every change made, also when a later check failed
    std::string a0Text;        // the last "A0" signature text met or stamped
};

// Without a host nothing is changed (and so nothing converted).
Conversion convert(ByteSpan input, JobHost* host);

}  // namespace keldro::tavi
