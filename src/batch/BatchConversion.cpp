#include "batch/BatchConversion.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "volume/Result.h"
#include "conversion/FileInspection.h"
#include "conversion/Controllers.h"
#include "platform/Executable.h"
#include "platform/Files.h"

namespace keldro::batch {
namespace {

constexpr int kWithinTenths = 5;  // 0.5 dB
constexpr int kMaxChangeTenths = 600;

std::unique_ptr<VolumeController> controllerFor(const BatchItem& item, const BatchRun& run) {
    std::unique_ptr<VolumeController> c = controllerWithOptions(item.mode, run.options.volume, run.options.regulate);
    c->setInputFileName(item.input);
    c->setOutputFileName(item.output);
    c->setLogFileName(run.resultPath);
    return c;
}

void collectLogEntry(ConversionJob& job, FileOutcome& outcome) {
    job.setLogWriter([&outcome](const std::string&, const std::string& entry, bool) {
        outcome.logEntry = entry;
        return true;
    });
}

// A file --normalize leaves as it is: copied, and logged through the job as
// a file that needed no change.
FileOutcome copyUnchanged(const BatchItem& item, const BatchRun& run, int kind) {
    FileOutcome outcome;
    std::unique_ptr<VolumeController> c = controllerFor(item, run);
    ConversionJob& job = c->job();
    job.reset();
    job.setHost(c.get());
    job.setRequest(c.get());
    collectLogEntry(job, outcome);
    FileResult result;
    result.path = item.input;
    result.name = fileNameOf(item.input);
    result.kind = kind;
    job.reportFile(result, copyFileOverwrite(item.input, item.output) ? Result::NotConverted : Result::FileWriteError);
    job.writeLogEntry(result, true);
    outcome.result = result.outcome;
    outcome.message = result.message;
    return outcome;
}

}  // namespace

FileOutcome convertFile(const BatchItem& item, const BatchRun& run, std::optional<int> changeTenths) {
    FileOutcome outcome;
    std::unique_ptr<VolumeController> c = controllerFor(item, run);
    if (changeTenths) applyRelativeChange(*c, *changeTenths);
    collectLogEntry(c->job(), outcome);
    outcome.result = c->consoleRun();
    outcome.message = c->resultText();
    outcome.changeTenths = changeTenths;
    return outcome;
}

std::optional<int> normalizingChange(int peakTenths, int targetTenths) {
    // Computed in 64 bits: no pair of ints overflows it.
    const long long change = static_cast<long long>(targetTenths) - peakTenths;
    if (std::llabs(change) <= kWithinTenths) return std::nullopt;
    return static_cast<int>(std::clamp<long long>(change, -kMaxChangeTenths, kMaxChangeTenths));
}

FileOutcome normalizeFile(const BatchItem& item, const BatchRun& run, int targetTenths) {
    const Inspection found = inspectFile(item.input, item.mode);
    // A file that cannot be inspected cannot be converted either: the ordinary
    // flow (with no change) reports why, in keldro's words.
    if (!found.ok()) return convertFile(item, run, 0);
    if (!found.peakTenths) return copyUnchanged(item, run, found.kind);
    const std::optional<int> change = normalizingChange(*found.peakTenths, targetTenths);
    if (!change) return copyUnchanged(item, run, found.kind);
    return convertFile(item, run, change);
}

}  // namespace keldro::batch
