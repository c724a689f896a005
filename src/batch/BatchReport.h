#pragma once
// The texts keldro-batch prints: the --inspect table (aligned, or CSV), the
// list of skipped paths and the closing summary.
#include <string>
#include <vector>

#include "batch/BatchConversion.h"
#include "batch/BatchInputs.h"
#include "conversion/FileInspection.h"

namespace keldro::batch {

// One row per file: file, kind, MaxGain [dB], master volume, channel volume,
// peak [dB], and the reason for a file that could not be inspected.
std::string inspectionTable(const std::vector<BatchItem>& items, const std::vector<Inspection>& rows);
std::string inspectionCsv(const std::vector<BatchItem>& items, const std::vector<Inspection>& rows);

// "skipped: PATH (reason)" and "cannot read: PATH" lines.
std::string skippedText(const BatchInputs& inputs);

// Counts of converted, unchanged and failed files, the failures grouped by
// message (with their paths), and with --normalize the change chosen per file.
std::string conversionSummary(const std::vector<BatchItem>& items, const std::vector<FileOutcome>& outcomes,
                              const BatchInputs& inputs, bool normalize);

// Inspected and failed counts, the failures grouped by message.
std::string inspectionSummary(const std::vector<BatchItem>& items, const std::vector<Inspection>& rows,
                              const BatchInputs& inputs);

}  // namespace keldro::batch
