#pragma once
// One conversion run, in either mode: takes the input file
// from its JobRequest, checks and reads it, hands its bytes to the mode's engine
// step, writes or copies the output, records the outcome in a FileResult,
// writes the result log and keeps the run's result. One class for
// both modes: what differs per mode lives in the FileEngineStep.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "conversion/FileEngineStep.h"
#include "conversion/JobRequest.h"
#include "conversion/FileResult.h"
#include "volume/VolumeChangeRecord.h"
#include "volume/VolumeSettings.h"
#include "platform/Clock.h"
#include "platform/Files.h"

namespace keldro {

class ConversionJob {
public:
    explicit ConversionJob(std::unique_ptr<FileEngineStep> step);
    ConversionJob(const ConversionJob&) = delete;
    ConversionJob& operator=(const ConversionJob&) = delete;

    FileMode mode() const { return step_->mode(); }

    // Empties the log path and the file list, detaches the request, the
    // run's result := Converted. The settings stay.
    void reset();
    // The settings of the run, owned by the caller (the controller); the
    // engine step converts with them and the log prints from them.
    void setSettings(const VolumeSettings* settings) { settings_ = settings; }
    const VolumeSettings& settings() const;
    // The files of the run and the receiver of its texts; reset() detaches it too.
    void setRequest(JobRequest* request) { request_ = request; }
    Result result() const { return result_; }
    // The MaxGain (attenuation steps) the last file was converted to, which
    // the run keeps as its setting (FileResult::chosenMaxGain); -1 none.
    int chosenMaxGain() const { return chosenMaxGain_; }

    // Runs the job; returns the run's final result.
    Result run();

    // Whether the engine step keeps a record of every change: the result log
    // and the callers of convertBytes read them; a run without a log keeps
    // only what decides the outcome, so that a file with a change at every
    // event holds no records nobody reads.
    bool changesWanted() const { return changesWanted_; }

    // What keldro-batch knows of its whole run and a single job cannot: it
    // spares the per-file flow a look at the file system. Both facts decide
    // steps between the conversion and the write of the output and the log,
    // inside the flow, so the batch hands them in rather than taking over
    // those steps. Kept by reset().
    struct BatchFacts {
        // The output's folder was made for this run (keldro-batch makes every
        // output folder before its workers start): most likely nothing is at
        // the output, so a converted file is linked in without a look first;
        // the look and the checks of an existing output follow only when
        // something turns out to be there.
        bool outputFolderNew = false;
        // No file is at the log path while the job runs (the batch looks once
        // before its workers start, and its result file appears only at the
        // end): the log can replace none of the run's files, and the job does
        // not look for each file.
        bool logPathVacant = false;
        // The output lies below keldro-batch's output folder, where another
        // user may have put a symbolic link at its name: such a link is never
        // written through, and the file fails with "File write error.".
        bool outputLinkRefused = false;
    };
    void setBatchFacts(const BatchFacts& facts) { batchFacts_ = facts; }

    // Records the file's outcome and its message, which the request also
    // receives. Returns the outcome.
    Result reportFile(FileResult& result, Result outcome);
    // Gives the request the message of a run-level result that belongs to
    // no file.
    void reportRun(Result outcome);

    // The mode's engine step on one file's bytes:
    // Converted (output filled), NotConverted (nothing to change), or an error.
    Result convertBytes(ByteSpan input, FileResult& result, ByteVector& output);
    // The per-file flow for one path (run() calls it once per file). The
    // input is read once: a file that needs no change is copied from the
    // bytes the engine step judged, with the permission bits it had when it
    // was read. Memory that runs out anywhere in the flow ends the file with
    // "File read error.".
    Result convertOneFile(const std::string& path, FileResult& result);

    // Where the per-file flow gets an input's bytes: readInputFile by default.
    // A caller that has read the file already (keldro-batch --normalize judges
    // it first) hands those bytes over, so that what was judged is what is
    // converted or copied. Kept by reset().
    using InputReader = std::function<ReadOutcome(const std::string& path, ReadFile& into)>;
    void setInputReader(InputReader reader) { inputReader_ = std::move(reader); }

    // Writes the log entry of one file to the log path: false on failure.
    bool writeLogEntry(FileResult& result, bool first);

    // Where log entries go. By default they are written to the log file; a
    // caller that puts the entries of many jobs in order itself (the batch
    // front end) collects them instead. The writer answers whether it wrote.
    // The entry is the writer's to keep.
    using LogWriter = std::function<bool(const std::string& path, std::string entry, bool first)>;
    void setLogWriter(LogWriter writer) { logWriter_ = std::move(writer); }

    // The clock of the log's time stamp and of anything an engine step stamps
    // with today's date (tests fix it). now() is false when no time is known.
    void setClock(std::function<bool(LocalDateTime&)> clock) { clock_ = std::move(clock); }
    bool now(LocalDateTime& out) const { return clock_ && clock_(out); }

private:
    // Queries: false / empty while nothing is attached.
    std::string inputFileName() const { return request_ ? request_->inputFileName() : std::string(); }
    std::string outputFileName() const { return request_ ? request_->outputFileName() : std::string(); }
    std::string logFileName() const { return request_ ? request_->logFileName() : std::string(); }
    std::string settingsFileName() const { return request_ ? request_->settingsFileName() : std::string(); }
    // True when the log path names the input, the output or the settings file:
    // such a log cannot be written, whatever the conversion did.
    bool logWouldReplaceUserFile() const;
    // convertOneFile without its guard against running out of memory.
    Result convertReadFile(const std::string& path, FileResult& result);

    std::unique_ptr<FileEngineStep> step_;
    const VolumeSettings* settings_ = nullptr;
    JobRequest* request_ = nullptr;
    std::vector<std::string> files_;
    std::string logPath_;
    Result result_ = Result::Converted;
    int chosenMaxGain_ = -1;
    bool changesWanted_ = true;
    BatchFacts batchFacts_;
    std::function<bool(LocalDateTime&)> clock_;
    LogWriter logWriter_;
    InputReader inputReader_;
};

// Paths of this many bytes or more are refused with "File path is too long.".
inline constexpr std::size_t kMaxPathBytes = 256;

}  // namespace keldro
