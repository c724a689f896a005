#include "batch/BatchConversion.h"

#include <memory>
#include <new>

#include "volume/Result.h"
#include "conversion/FileInspection.h"
#include "conversion/Controllers.h"
#include "conversion/InputFile.h"
#include "conversion/Normalization.h"
#include "platform/Executable.h"
#include "platform/Files.h"
#include "platform/Shortage.h"

namespace keldro::batch {
namespace {

std::unique_ptr<VolumeController> controllerFor(const BatchItem& item, const BatchRun& run) {
    std::unique_ptr<VolumeController> c = controllerWithOptions(item.mode, run.options.volume, run.options.regulate);
    c->setInputFileName(item.input);
    c->setOutputFileName(item.output);
    c->setLogFileName(run.resultPath);
    c->job().setBatchFacts({.outputFolderNew = run.outputFolderIsNew(item),
                            .logPathVacant = run.resultPathVacant,
                            .outputLinkRefused = true});
    return c;
}

void collectLogEntry(ConversionJob& job, FileOutcome& outcome) {
    job.setLogWriter([&outcome](const std::string&, std::string entry, bool) {
        outcome.logEntry = std::move(entry);
        return true;
    });
}

// A file --normalize leaves as it is: the bytes judged are written to the
// output, with the input's permission bits for a new one (never onto the
// input itself), and logged through the job as a file that needed no change.
FileOutcome copyUnchanged(const BatchItem& item, const BatchRun& run, int kind, const ReadFile& input) {
    FileOutcome outcome;
    std::unique_ptr<VolumeController> c = controllerFor(item, run);
    ConversionJob& job = c->job();
    job.reset();
    job.setSettings(&c->settings());
    job.setRequest(c.get());
    collectLogEntry(job, outcome);
    FileResult result;
    result.path = item.input;
    result.name = fileNameOf(item.input);
    result.kind = kind;
    const bool copied =
        !isSameFile(item.input, item.output) &&
        writeFileSafely(WriteTarget(item.output, AtLink::Refuse), ByteSpan(input.bytes), input.permissions);
    job.reportFile(result, copied ? Result::NotConverted : Result::FileWriteError);
    job.writeLogEntry(result, true);
    outcome.result = result.outcome;
    outcome.message = result.message;
    return outcome;
}

// The conversion of convertFile; with `preread`, of those bytes rather than
// of a fresh read of the file.
FileOutcome convertWith(const BatchItem& item, const BatchRun& run, std::optional<int> changeTenths,
                        ConversionJob::InputReader preread) {
    FileOutcome outcome;
    std::unique_ptr<VolumeController> c = controllerFor(item, run);
    if (changeTenths) applyRelativeChange(*c, *changeTenths);
    collectLogEntry(c->job(), outcome);
    if (preread) c->job().setInputReader(std::move(preread));
    outcome.result = c->consoleRun();
    outcome.message = c->resultText();
    outcome.changeTenths = changeTenths;
    return outcome;
}

// Memory that runs out for one file outside its job (which reports it
// itself) ends that file alone; the batch goes on.
template <typename Work>
FileOutcome guarded(Work&& work) {
    try {
        return work();
    } catch (const std::bad_alloc&) {
        noteShortage(Shortage::Memory);
        FileOutcome outcome;
        outcome.result = Result::FileReadError;
        outcome.message = std::string(resultMessage(outcome.result));
        return outcome;
    }
}

}  // namespace

bool BatchRun::outputFolderIsNew(const BatchItem& item) const {
    if (newFolders.empty()) return false;
    const std::string_view output(item.output);
    return newFolders.count(output.substr(0, output.rfind('/') + 1)) != 0;
}

FileOutcome convertFile(const BatchItem& item, const BatchRun& run, std::optional<int> changeTenths) {
    return guarded([&] { return convertWith(item, run, changeTenths, {}); });
}

FileOutcome normalizeFile(const BatchItem& item, const BatchRun& run, int targetTenths) {
    return guarded([&] {
        ReadFile input;
        const ReadOutcome read = readInputFile(item.input, item.mode, input);
        return normalizeReadFile(item, run, targetTenths, read, std::move(input));
    });
}

FileOutcome normalizeReadFile(const BatchItem& item, const BatchRun& run, int targetTenths, ReadOutcome read,
                              ReadFile input) {
    return guarded([&] {
        const Inspection found = inspectReadFile(read, input, item.mode);
        const std::optional<int> change = normalizingChangeFor(found, targetTenths);
        if (!change) return copyUnchanged(item, run, found.kind, input);
        return convertWith(item, run, change, [read, &input](const std::string&, ReadFile& into) {
            into = std::move(input);
            return read;
        });
    });
}

}  // namespace keldro::batch
