#pragma once
// The conversion pass: input MFi bytes in, converted bytes out, in three steps
// that each take the file the previous step wrote: re-encode, volume rule,
// header update ("date", "supt", "vers"). The model is read once; a step reads
// the previous step's bytes only where they would not read back as the model
// (see carryOver in ConversionPass.cpp), so each step fails where it failed
// when it read them.
#include <array>
#include <cstdint>
#include <span>

#include "volume/JobHost.h"
#include "mfi/File.h"
#include "mfivolume/VolumeFile.h"
#include "platform/Bytes.h"
#include "volume/Result.h"

namespace keldro::mfi {

// The settings of one pass, read from the host once at its start.
struct PassSettings {
    int relative = 0;
    double db = 0.0;
    int absolute = 0;
    int maxGainSteps = 24;
    int masterVolume = 100;  // carried along; no MFi rule uses it
    std::array<int, 17> channelValues = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
    int regulate = 0;
};

PassSettings snapshotSettings(JobHost* host);

// Handset format codes the per-file flow passes for each MFi version.
inline constexpr int kFormatMfi20 = 1;
inline constexpr int kFormatMfi30 = 2;
inline constexpr int kFormatMfi31 = 3;
inline constexpr int kFormatMfi40 = 7;
// The format code for an MFi version (20, 30, 31, 40); 0 for any other.
int formatOfMfiVersion(int version);

// The text this program writes into "supt" from MFi 3.0 on.
const char* programSupportText();

// Converts `input` from the source to the target handset format: the
// converted file is copied to the start of `output` and its size put in
// `length`. Result::Converted, or Result::MfiStepFailed (a step failed),
// Result::MfiOutputTooSmall or Result::MfiNoBuffer (empty input or output).
// `today` is the local date stamped into "date"; null when it cannot be
// obtained (the pass then fails). Nothing is written to `output` unless the
// pass succeeds.
Result runConversionPass(ByteSpan input, int sourceFormat, int targetFormat, std::span<std::uint8_t> output,
                         std::size_t& length, JobHost* host, const Date* today);

// The converted file of a pass and what reading it gives.
struct ConvertedFile {
    ByteVector bytes;
    VolumeFile model;                   // as VolumeFile::parse(bytes) leaves it
    Result reread = Result::NoMfiFile;  // what that parse returned
};

// The pass as the per-file flow runs it, before a second read of its output:
// `source` is the model of `input`, read by VolumeFile::parse with Result::Converted.
// Returns what runConversionPass(input, ...) returns with an output buffer of
// `capacity` bytes, and on success puts the same converted bytes into
// `converted.bytes`; `converted.model` and `converted.reread` are what
// parsing those bytes gives, taken from the pass's own model where that is
// exact (File::rereadsAsWritten) and read otherwise.
Result runConversionPass(ByteSpan input, const VolumeFile& source, int sourceFormat, int targetFormat,
                         std::size_t capacity, ConvertedFile& converted, JobHost* host, const Date* today);
// The same with the model itself: the pass takes it over and converts it in
// place (`converted.model` is then that model), so no copy of the model is
// made. A caller that still needs the input's volume points for the change
// report takes them first (InputVolumes, ChangeReport.h).
Result runConversionPass(ByteSpan input, VolumeFile&& source, int sourceFormat, int targetFormat, std::size_t capacity,
                         ConvertedFile& converted, JobHost* host, const Date* today);

}  // namespace keldro::mfi
