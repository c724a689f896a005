#pragma once
// One file of a batch, converted by the very per-file flow keldro runs: a
// fresh controller of the file's mode (its settings are changed by the VQ-7
// MaxGain rule, so none is shared), its job and the mode's engine step. The
// job's result-log entry is collected instead of written, so the batch can
// put the entries in input order.
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

#include "batch/BatchInputs.h"
#include "batch/BatchOptions.h"
#include "conversion/Normalization.h"
#include "platform/Files.h"
#include "platform/Shortage.h"
#include "volume/Result.h"

namespace keldro::batch {

struct FileOutcome {
    Result result = Result::Converted;   // Converted, NotConverted (copied unchanged) or an error
    std::string message;                 // the result's message
    std::string logEntry;                // the file's result-log entry (empty when the job wrote none)
    std::optional<int> changeTenths;     // --normalize: the change applied; none when copied unchanged
    Shortage shortage = Shortage::None;  // a failed file: what the system ran short of, when that failed it

    bool failed() const { return !isSuccess(result); }
};

struct BatchRun {
    const BatchOptions& options;
    std::string resultPath;  // the result file, given to each job as its log path
    // Nothing was at resultPath when the workers started. Nothing appears
    // there before the run ends (the result file is put in place last; no
    // output is named like it), so the jobs need not look again.
    bool resultPathVacant = false;
    // The folders this run made, each as the text of its outputs' paths up to
    // the last '/' (a view into an item's output): nothing was in them, so
    // their outputs are most likely new.
    std::unordered_set<std::string_view> newFolders;

    bool outputFolderIsNew(const BatchItem& item) const;
};

// Converts with the options' settings, or with a relative change of
// `changeTenths` when given (--normalize).
FileOutcome convertFile(const BatchItem& item, const BatchRun& run, std::optional<int> changeTenths = {});

// The relative change that brings the file's peak level to the target; a file
// within 0.5 dB of it (or without any volume to judge by) is copied unchanged.
// The file is read once: what is judged is what is converted or copied.
FileOutcome normalizeFile(const BatchItem& item, const BatchRun& run, int targetTenths);
// normalizeFile on the outcome and the bytes of a read of the item's input
// (readInputFile), whatever the file holds by now.
FileOutcome normalizeReadFile(const BatchItem& item, const BatchRun& run, int targetTenths, ReadOutcome read,
                              ReadFile input);

// The change --normalize applies to a file of peak level `peakTenths`: none
// within 0.5 dB of the target, else target - peak within -60 ... 60 dB.
using keldro::normalizingChange;

}  // namespace keldro::batch
