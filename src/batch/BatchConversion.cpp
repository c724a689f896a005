#include "batch/BatchConversion.h"

#include <memory>

#include "volume/Result.h"
#include "conversion/FileInspection.h"
#include "conversion/Controllers.h"
#include "conversion/Normalization.h"
#include "platform/Executable.h"
#include "platform/Files.h"

namespace keldro::batch {
namespace {

std::unique_ptr<VolumeController> controllerFor(const BatchItem& item, const BatchRun& run) {
    std::unique_ptr<VolumeController> c = controllerWithOptions(item.mode, run.options.volume, run.options.regulate);
    c->setInputFileName(item.input);
    c->setOutputFileName(item.output);
    c->setLogFileName(run.resultPath);
    c->job().setRestoresDirectory(false);  // the workers share the process's directory
    c->job().setLogPathVacant(run.resultPathVacant);
    c->job().setOutputFolderNew(run.outputFolderIsNew(item));
    return c;
}

void collectLogEntry(ConversionJob& job, FileOutcome& outcome) {
    job.setLogWriter([&outcome](const std::string&, std::string entry, bool) {
        outcome.logEntry = std::move(entry);
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

bool BatchRun::outputFolderIsNew(const BatchItem& item) const {
    if (newFolders.empty()) return false;
    const std::string_view output(item.output);
    return newFolders.count(output.substr(0, output.rfind('/') + 1)) != 0;
}

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

FileOutcome normalizeFile(const BatchItem& item, const BatchRun& run, int targetTenths) {
    const Inspection found = inspectFile(item.input, item.mode);
    const std::optional<int> change = normalizingChangeFor(found, targetTenths);
    if (!change) return copyUnchanged(item, run, found.kind);
    return convertFile(item, run, change);
}

}  // namespace keldro::batch
