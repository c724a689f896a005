#include "conversion/ConversionJob.h"

#include <new>
#include <optional>

#include "volume/Result.h"
#include "conversion/InputFile.h"
#include "conversion/ResultLog.h"
#include "platform/Executable.h"
#include "platform/Files.h"
#include "platform/Shortage.h"
#include "platform/Text.h"

namespace keldro {

ConversionJob::ConversionJob(std::unique_ptr<FileEngineStep> step) : step_(std::move(step)), clock_(localDateTime) {}

void ConversionJob::reset() {
    logPath_.clear();
    files_.clear();
    request_ = nullptr;
    result_ = Result::Converted;
    chosenMaxGain_ = -1;
}

const VolumeSettings& ConversionJob::settings() const {
    static const VolumeSettings kNone;
    return settings_ ? *settings_ : kNone;
}

Result ConversionJob::reportFile(FileResult& result, Result outcome) {
    result.outcome = outcome;
    result.message = std::string(resultMessage(outcome));
    if (request_) request_->setResultText(result.message);
    return outcome;
}

void ConversionJob::reportRun(Result outcome) {
    if (request_) request_->setResultText(std::string(resultMessage(outcome)));
}

Result ConversionJob::run() {
    files_.clear();
    std::string input = inputFileName();
    if (!input.empty()) files_.push_back(std::move(input));
    if (files_.empty()) {
        result_ = Result::FileReadError;
        reportRun(result_);
        return result_;
    }
    logPath_ = logFileName();
    const bool logWanted = !logPath_.empty();
    if (logWanted) {
        if (logPath_.size() >= kMaxPathBytes) {
            result_ = Result::PathTooLong;
            reportRun(result_);
            return result_;
        }
    }
    changesWanted_ = logWanted;
    bool first = true;
    for (const auto& path : files_) {
        FileResult result;
        result_ = convertOneFile(path, result);
        if (result_ == Result::Cancel || result_ == Result::FolderOpenError) break;
        if (logWanted) {
            if (!writeLogEntry(result, first)) {
                if (result_ == Result::Converted) {
                    result_ = Result::FileWriteError;
                    reportRun(result_);
                }
                break;
            }
            first = false;
        }
    }
    changesWanted_ = true;
    return result_;
}

Result ConversionJob::convertOneFile(const std::string& path, FileResult& r) {
    try {
        return convertReadFile(path, r);
    } catch (const std::bad_alloc&) {
        noteShortage(Shortage::Memory);
        // What was found before memory ran out is no result of the file.
        r.changes.clear();
        return reportFile(r, Result::FileReadError);
    }
}

Result ConversionJob::convertReadFile(const std::string& path, FileResult& r) {
    r.clear();
    r.path = path;
    r.name = fileNameOf(path);
    if (path.size() >= kMaxPathBytes) return reportFile(r, Result::PathTooLong);
    // A name of another kind is not read: whether anything is there decides the error.
    if (!endsWithIgnoreCase(path, step_->extension()))
        return reportFile(r, fileStatus(path) ? step_->wrongInput() : Result::FileReadError);
    ReadFile input;
    switch (inputReader_ ? inputReader_(path, input) : readInputFile(path, *step_, input)) {
        case ReadOutcome::Read: break;
        case ReadOutcome::Directory: return reportFile(r, step_->wrongInput());
        case ReadOutcome::TooLarge: return reportFile(r, oversizedInput(mode()));
        case ReadOutcome::Refused: return reportFile(r, refusedInput(*step_, input));
        case ReadOutcome::Failed: return reportFile(r, Result::FileReadError);
    }

    ByteVector output;
    const Result result = convertBytes(ByteSpan(input.bytes), r, output);
    if (!isSuccess(result)) return result;

    const std::string out = outputFileName();
    if (out.empty()) return reportFile(r, Result::FileWriteError);
    if (out.size() >= kMaxPathBytes) return reportFile(r, Result::PathTooLong);
    if (!endsWithIgnoreCase(out, step_->extension())) return reportFile(r, Result::FileWriteError);
    if (result == Result::Converted && batchFacts_.outputFolderNew) {
        switch (writeFreshFile(out, ByteSpan(output))) {
            case FreshWrite::Written: return r.outcome;
            case FreshWrite::Failed: return reportFile(r, Result::FileWriteError);
            case FreshWrite::Untouched: break;  // something is there after all: the usual way
        }
    }
    // One look at the output serves the check and the write.
    const AtLink atLink = batchFacts_.outputLinkRefused ? AtLink::Refuse : AtLink::WriteThrough;
    const WriteTarget target(out, atLink);
    if (const std::optional<FileStatus>& existing = target.existing()) {
        if (existing->isReadOnly || existing->isDirectory || !canOpenForWriting(out, atLink))
            return reportFile(r, Result::FileWriteError);
    }
    // Written under a temporary name and renamed into place: a failed write
    // leaves no partial file and an existing output (or the input itself,
    // when the names are the same) as it was.
    if (result == Result::Converted) {
        if (!writeFileSafely(target, ByteSpan(output))) return reportFile(r, Result::FileWriteError);
    } else {
        // Nothing to change: the bytes judged, with the input's permission bits
        // for a new output, unless the output is the input itself. Names that
        // differ only in letter case are different files here.
        if (!isSameFile(path, out) && !writeFileSafely(target, ByteSpan(input.bytes), input.permissions))
            return reportFile(r, Result::FileWriteError);
    }
    return r.outcome;
}

Result ConversionJob::convertBytes(ByteSpan input, FileResult& result, ByteVector& output) {
    chosenMaxGain_ = -1;
    const Result outcome = step_->convert(*this, settings(), input, result, output);
    chosenMaxGain_ = result.chosenMaxGain;
    return outcome;
}

bool ConversionJob::writeLogEntry(FileResult& result, bool first) {
    LogContext ctx;
    ctx.mode = step_->mode();
    ctx.inputFileName = inputFileName();
    ctx.outputFileName = outputFileName();
    ctx.regulateChorus = settings().regulateChorus;
    ctx.dbTenths = settings().dbTenths;
    LocalDateTime stamp;
    if (!now(stamp)) stamp = LocalDateTime{};
    if (!logWriter_) return !logWouldReplaceUserFile() && streamLogEntry(logPath_, ctx, result, stamp, first);
    std::string entry = buildLogEntry(ctx, result, stamp);
    if (logWouldReplaceUserFile()) return false;
    return logWriter_(logPath_, std::move(entry), first);
}

bool ConversionJob::logWouldReplaceUserFile() const {
    if (batchFacts_.logPathVacant) return false;
    const std::optional<FileIdentity> log = fileIdentity(logPath_);
    if (!log) return false;
    for (const std::string& file : {inputFileName(), outputFileName(), settingsFileName()})
        if (fileIdentity(file) == log) return true;
    return false;
}

}  // namespace keldro
