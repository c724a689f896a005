#pragma once
// The core as a function over bytes: one file's bytes and its settings in,
// the bytes keldro would write, its message, the file's kind and every
// changed volume out. No file is read or written and no clock is read:
// today's date (stamped into MFi files that carry a date) is passed in.
#include <optional>
#include <string>
#include <vector>

#include "conversion/FileEngineStep.h"
#include "conversion/FileInspection.h"
#include "conversion/VolumeOptions.h"
#include "platform/Bytes.h"
#include "platform/Clock.h"
#include "volume/Result.h"
#include "volume/VolumeChangeRecord.h"

namespace keldro {

// ".mmf" TAVI, ".mld" MFi, letter case ignored; nullopt for any other name,
// which keldro-batch skips for the reason below.
std::optional<FileMode> modeOfPath(const std::string& path);
inline constexpr const char* kNotConvertibleReason = "not a TAVI (.mmf) or MFi (.mld) file";

struct ConversionSettings {
    std::vector<VolumeOption> volume;  // in the order given; "db" wins over the absolute options
    bool regulateChorus = false;       // also regulate the chorus (distortion/compressor) levels
};

struct ConversionOutcome {
    // Converted, NotConverted (nothing to change), or the error that ended
    // the conversion.
    Result result = Result::Converted;
    std::string message;
    int exitStatus = 0;  // keldro's exit status for the result
    // The converted file, or the input itself when nothing needed changing;
    // empty after an error.
    ByteVector bytes;
    int kind = 0;  // TAVI generation 2/3/5/7 (-1 unknown); MFi version 20/30/31/40; 0 unknown
    VolumeChangeList changes;
    int dbTenths = 0;  // the relative change the conversion ran with, as its log entry prints it
    bool succeeded() const { return isSuccess(result); }
};

ConversionOutcome convertBytes(FileMode mode, ByteSpan input, const ConversionSettings& settings,
                               const LocalDateTime& today);

// keldro-batch --normalize on one file's bytes: the relative change that
// brings its peak level to `targetTenths` (Normalization.h), or the input
// unchanged ("Not Converted - Not exist target volume.") when it needs none.
struct NormalizedOutcome {
    ConversionOutcome outcome;
    std::optional<int> changeTenths;  // the change applied; none when left unchanged
};
NormalizedOutcome normalizeBytes(FileMode mode, ByteSpan input, int targetTenths, bool regulateChorus,
                                 const LocalDateTime& today);

// The entry keldro-batch writes into its result file for this outcome, the
// input and output named as given, time-stamped `now`.
std::string resultLogEntry(FileMode mode, const ConversionOutcome& outcome, bool regulateChorus,
                           const std::string& inputName, const std::string& outputName, const LocalDateTime& now);

// The levels of a file, as keldro-batch --inspect reads them (see FileInspection.h).
inline Inspection inspect(FileMode mode, ByteSpan input) { return inspectBytes(input, mode); }

}  // namespace keldro
