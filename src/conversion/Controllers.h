#pragma once
// The two controllers, one per mode. They carry the run's VolumeSettings, parse
// and clamp every value that reaches them, hold the file names (input,
// output, log, settings) and the result text, own the ConversionJob and
// answer its JobRequest. The job hands the settings to the mode's engine,
// which gives back what it changed; the one value an engine chooses for the
// run (the MaxGain of a TAVI VQ-7 file) comes back through the job's result.
// TaviController and MfiController differ only in the channel range and the
// job's engine step.
#include <memory>
#include <string>

#include "conversion/ConversionJob.h"
#include "conversion/JobRequest.h"
#include "volume/VolumeSettings.h"
#include "volume/VolumeTables.h"

namespace keldro {

class VolumeController : public JobRequest {
public:
    ~VolumeController() override = default;
    VolumeController(const VolumeController&) = delete;
    VolumeController& operator=(const VolumeController&) = delete;

    FileMode mode() const { return job_.mode(); }
    int channelMaximum() const { return channelMax_; }

    // ---- Setters (settings file and command line alike). ----
    void setDb(const std::string& text);       // tenths, truncated, clamped -600 ... 600
    void setMasterVolume(int value);           // clamped 0 ... 127
    void setMaxGain(const std::string& text);  // quantised to -120 ... 0 in steps of 5
    void setChannel(int entry, int value);     // clamped to the mode's range
    void setChannelGiven(int entry, bool given);
    void setAbsoluteMode(int a);  // 1 if a is 1, else 0
    void setRegulateChorus(bool regulate) { settings_.regulateChorus = regulate; }
    void setInputFileName(const std::string& name) { input_ = name; }
    void setOutputFileName(const std::string& name) { output_ = name; }
    void setLogFileName(const std::string& name) { log_ = name; }
    void setSettingsFileName(const std::string& name) { settingsFile_ = name; }

    // ---- Getters used when saving. ----
    std::string dbText() const;       // "%.1f"
    int masterVolumeValue() const;    // clamped again 0 ... 127
    std::string maxGainText() const;  // quantised again, "%.1f"

    const VolumeSettings& settings() const { return settings_; }
    VolumeSettings& settings() { return settings_; }
    const std::string& resultText() const { return resultText_; }
    ConversionJob& job() { return job_; }

    // Resets the job, hands it these settings and this request, runs it, and
    // keeps the MaxGain a TAVI file was converted to as the run's setting.
    Result consoleRun();
    // The same preparation, then only the engine step on bytes (ConversionJob::convertBytes).
    Result convertBytes(ByteSpan input, FileResult& result, ByteVector& output);

    // ---- JobRequest. ----
    std::string inputFileName() const override { return input_; }
    std::string outputFileName() const override { return output_; }
    std::string logFileName() const override { return log_; }
    std::string settingsFileName() const override { return settingsFile_; }
    void setResultText(const std::string& text) override { resultText_ = text; }

protected:
    VolumeController(int channelMax, std::unique_ptr<FileEngineStep> step);

private:
    void prepareJob();
    // The MaxGain a TAVI file was converted to is the one the run used, and
    // the values used are saved as the next run's defaults.
    void keepChosenMaxGain();

    VolumeSettings settings_;
    int channelMax_;
    std::string input_, output_, log_, settingsFile_, resultText_;
    ConversionJob job_;
};

class TaviController final : public VolumeController {
public:
    TaviController();
};

class MfiController final : public VolumeController {
public:
    MfiController();
};

// The controller of a mode: 0 TAVI, 1 MFi.
std::unique_ptr<VolumeController> makeController(int targetFile);

}  // namespace keldro
