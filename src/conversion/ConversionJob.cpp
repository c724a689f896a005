#include "conversion/ConversionJob.h"

#include "volume/ResultCodes.h"
#include "conversion/ResultLog.h"
#include "platform/Executable.h"
#include "platform/Files.h"
#include "platform/Text.h"

namespace keldro {

ConversionJob::ConversionJob(std::unique_ptr<FileEngineStep> step) : step_(std::move(step)), clock_(localDateTime) {}

void ConversionJob::reset() {
    logPath_.clear();
    files_.clear();
    changes_.clear();
    host_ = nullptr;
    request_ = nullptr;
    status_ = 0;
}

int ConversionJob::reportFile(FileResult& result, int code) {
    result.status = -code;
    result.message = std::string(resultMessage(code));
    if (isConsole()) request_->setResultText(result.message);
    return result.status;
}

void ConversionJob::reportRun(int status) {
    if (isConsole()) request_->setResultText(std::string(resultMessage(-status)));
}

int ConversionJob::run() {
    files_.clear();
    std::string input = inputFileName();
    if (!input.empty()) files_.push_back(input);
    if (files_.empty()) {
        status_ = -kFileReadError;
        reportRun(status_);
        return status_;
    }
    logPath_ = logFileName();
    const bool logWanted = !logPath_.empty();
    if (logWanted) {
        if (logPath_.size() >= kMaxPathBytes) {
            status_ = -kPathTooLong;
            reportRun(status_);
            return status_;
        }
    }
    CurrentDirectory savedDirectory;
    bool first = true;
    for (const auto& path : files_) {
        if (hostIsCancelRequested()) break;
        FileResult result;
        status_ = convertOneFile(path, result);
        if (status_ == -kCancel || status_ == -kFolderOpenError) break;
        if (logWanted) {
            int e = writeLogEntry(result, first);
            if (e != 0) {
                if (status_ == 0) {
                    status_ = e;
                    reportRun(e);
                }
                break;
            }
            first = false;
        }
    }
    savedDirectory.restore();
    return status_;
}

int ConversionJob::convertOneFile(const std::string& path, FileResult& r) {
    r.clear();
    r.path = path;
    r.name = fileNameOf(path);
    changes_.clear();
    if (path.size() >= kMaxPathBytes) return reportFile(r, kPathTooLong);
    auto status = fileStatus(path);
    if (!status) return reportFile(r, kFileReadError);
    if (status->isDirectory || !endsWithIgnoreCase(path, step_->extension()))
        return reportFile(r, step_->wrongInputCode());
    ByteVector input;
    if (!readWholeFile(path, input)) return reportFile(r, kFileReadError);

    ByteVector output;
    int result = convertBytes(ByteSpan(input), r, output);
    if (result != 0 && result != -1) return result;

    const std::string out = outputFileName();
    if (out.empty()) return reportFile(r, kFileWriteError);
    if (out.size() >= kMaxPathBytes) return reportFile(r, kPathTooLong);
    if (!endsWithIgnoreCase(out, step_->extension())) return reportFile(r, kFileWriteError);
    if (auto existing = fileStatus(out)) {
        if (existing->isReadOnly || existing->isDirectory || !canOpenForWriting(out))
            return reportFile(r, kFileWriteError);
    }
    if (result == 0) {
        // Written under a temporary name and renamed into place: a failed write
        // leaves no partial file and an existing output (or the input itself,
        // when the names are the same) as it was.
        if (!writeFileSafely(out, ByteSpan(output))) return reportFile(r, kFileWriteError);
    } else {
        // Nothing to change: copy the input unless the output is the input
        // itself. Names that differ only in letter case are different files here.
        if (!isSameFile(path, out) && !copyFileOverwrite(path, out)) return reportFile(r, kFileWriteError);
    }
    return r.status;
}

int ConversionJob::convertBytes(ByteSpan input, FileResult& result, ByteVector& output) {
    changes_.clear();
    return step_->convert(*this, host_, input, result, output);
}

int ConversionJob::writeLogEntry(FileResult& result, bool first) {
    LogContext ctx;
    ctx.mode = step_->mode();
    ctx.inputFileName = inputFileName();
    ctx.outputFileName = outputFileName();
    ctx.console = isConsole();
    ctx.regulateChorus = hostIsRegulateChorus();
    ctx.dbTenths = dbTenths_;
    LocalDateTime stamp;
    if (!now(stamp)) stamp = LocalDateTime{};
    const std::string entry = buildLogEntry(ctx, result, stamp);
    if (logWouldReplaceUserFile()) return -kFileWriteError;
    if (logWriter_) return logWriter_(logPath_, entry, first);
    return writeLogText(logPath_, entry, first);
}

bool ConversionJob::logWouldReplaceUserFile() const {
    for (const std::string& file : {inputFileName(), outputFileName(), settingsFileName()})
        if (isSameFile(logPath_, file)) return true;
    return false;
}

}  // namespace keldro
