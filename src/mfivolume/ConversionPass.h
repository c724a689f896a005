#pragma once
// The conversion pass: the model of an MFi file and the run's settings in,
// converted bytes out, in three steps that each take the file the previous
// step wrote: re-encode, volume rule, header update ("date", "supt", "vers").
// The file keeps its version. The model is read once; a step reads the
// previous step's bytes only where they would not read back as the model
// (see carryOver in ConversionPass.cpp), so each step fails where it failed
// when it read them.
#include <cstddef>

#include "mfi/File.h"
#include "mfivolume/VolumeFile.h"
#include "platform/Bytes.h"
#include "volume/Result.h"
#include "volume/VolumeSettings.h"

namespace keldro::mfi {

// The text this program writes into "supt" from MFi 3.0 on.
const char* programSupportText();

// The converted file of a pass and what reading it gives.
struct ConvertedFile {
    ByteVector bytes;
    VolumeFile model;                   // as VolumeFile::parse(bytes) leaves it
    Result reread = Result::NoMfiFile;  // what that parse returned
};

// How each step of the pass goes on: with its model where the bytes it
// writes would read back as that model, or always by writing the bytes and
// reading them. Both give the same bytes and model; tests compare them.
enum class PassRoute { KeepModelWhereExact, WriteAndRead };

// Converts `source`, the model VolumeFile::parse made of an input of MFi
// `version` (20, 30, 31, 40) with Result::Converted, in place: the pass takes
// the model over, so no copy of it is made; a caller that still needs the
// input's volume points for the change report takes them first (InputVolumes,
// ChangeReport.h). Result::Converted with the converted bytes in
// `converted.bytes` (at most `capacity` of them), and in `converted.model` and
// `converted.reread` what parsing those bytes gives, taken from the pass's own
// model where that is exact (File::rereadsAsWritten) and read otherwise. Or
// Result::MfiStepFailed (a step failed, or another version),
// Result::MfiOutputTooSmall, Result::MfiNoBuffer (a capacity of 0). `today`
// is the local date stamped into "date"; null when it cannot be obtained
// (the pass then fails). `route` is for tests only.
Result runConversionPass(VolumeFile&& source, int version, std::size_t capacity, ConvertedFile& converted,
                         const VolumeSettings& settings, const Date* today,
                         PassRoute route = PassRoute::KeepModelWhereExact);

}  // namespace keldro::mfi
