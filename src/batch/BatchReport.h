#pragma once
// The texts keldro-batch prints: the --inspect table (aligned, or CSV), the
// list of skipped paths and the closing summary.
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "batch/BatchConversion.h"
#include "batch/BatchInputs.h"
#include "conversion/FileInspection.h"

namespace keldro::batch {

// One row per file: file, kind, MaxGain [dB], master volume, channel volume,
// peak [dB], and the reason for a file that could not be inspected. The
// table spells out tabs, line breaks and backslashes in names (\t, \n, \r,
// \\); the CSV quotes such fields instead.
std::string inspectionTable(const std::vector<BatchItem>& items, const std::vector<Inspection>& rows);
std::string inspectionCsv(const std::vector<BatchItem>& items, const std::vector<Inspection>& rows);

// "skipped: PATH (reason)" and "cannot read: PATH" lines.
std::string skippedText(const BatchInputs& inputs);

// Paths grouped by message, in the order the messages first occur. The
// paths are views of the batch's own lists, which outlive the groups.
struct FailureGroups {
    std::vector<std::string> order;
    std::map<std::string, std::vector<std::string_view>> paths;

    void add(const std::string& message, std::string_view path);
    std::size_t count() const;
    // Each message with its count, then its paths.
    std::string text() const;
};

// The closing summary of a conversion: counts of converted, unchanged and
// failed files, the failures grouped by message (with their paths; a file
// that failed for want of file descriptors or memory is grouped under its
// message with "(too many open files)" or "(out of memory)"), and with
// --normalize the change chosen per file. Fed one file at a time in input
// order, it keeps only what it prints, so a run over many files does not
// hold every file's outcome until the end.
class ConversionSummary {
public:
    explicit ConversionSummary(bool normalize);
    // The next file in input order; `item` outlives the summary.
    void add(const BatchItem& item, const FileOutcome& outcome);
    // The summary, with `inputs`' unreadable paths among the failures; once, at the end.
    std::string take(const BatchInputs& inputs);

private:
    bool normalize_;
    std::size_t converted_ = 0, unchanged_ = 0;
    FailureGroups failures_;
    std::string changes_;  // --normalize: "Change per file:" and its lines
};

// Inspected and failed counts, the failures grouped by message; with
// `shortages` (per row), a failure the system's shortage caused says so.
std::string inspectionSummary(const std::vector<BatchItem>& items, const std::vector<Inspection>& rows,
                              const BatchInputs& inputs, const std::vector<Shortage>& shortages = {});

}  // namespace keldro::batch
