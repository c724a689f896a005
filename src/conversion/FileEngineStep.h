#pragma once
// What differs between the two modes in the per-file flow: the extension, the
// code for a wrong input, and the engine step that turns input bytes into
// output bytes. One ConversionJob serves both modes through this seam.
#include <string_view>

#include "conversion/FileResult.h"
#include "volume/VolumeSettings.h"
#include "platform/Bytes.h"

namespace keldro {

class ConversionJob;

enum class FileMode { Tavi, Mfi };

class FileEngineStep {
public:
    virtual ~FileEngineStep() = default;
    virtual FileMode mode() const = 0;
    virtual std::string_view extension() const = 0;  // ".mmf" / ".mld", compared ignoring case
    virtual Result wrongInput() const = 0;           // "No TAVI file." / "No MFi file."

    // The first bytes of a file the engine judges its header by, and what it
    // says of a file of `size` bytes from them alone: the result that refuses
    // the file, or Converted when the rest decides. The job reads no further
    // than the head of a refused file. By default the whole file decides.
    virtual std::size_t headBytes() const { return 0; }
    virtual Result checkHead(ByteSpan /*head*/, std::uint64_t /*size*/) const { return Result::Converted; }

    // Runs the mode's engine on the whole input file with the run's settings.
    // Reports every outcome through job.reportFile(result, outcome), fills
    // result.changes, result.kind and result.chosenMaxGain, and when converted
    // leaves the bytes to write in `output`.
    // Returns result.outcome: Converted, NotConverted (the job copies the
    // input), or the error that ends the file.
    // The job also gives today's date (job.now(date)).
    virtual Result convert(ConversionJob& job, const VolumeSettings& settings, ByteSpan input, FileResult& result,
                           ByteVector& output) = 0;
};

}  // namespace keldro
