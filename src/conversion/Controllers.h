#pragma once
// The two controllers, one per mode. They carry the run's VolumeSettings, parse
// and clamp every value that reaches them, hold the file names (input,
// output, log, settings) and the result text, own the ConversionJob and
// implement JobHost and JobRequest. Everything is
// shared in VolumeController; TaviController and MfiController keep only the
// real differences: the channel range, the job's engine step, the TAVI rule
// operations (TAVI) and the settings queries the MFi engine makes (MFi).
#include <memory>
#include <string>

#include "conversion/ConversionJob.h"
#include "conversion/JobRequest.h"
#include "volume/JobHost.h"
#include "volume/VolumeSettings.h"
#include "volume/VolumeTables.h"

namespace keldro {

class VolumeController : public JobHost, public JobRequest {
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

    // Resets the job, hands it the dB value and this host, runs it.
    Result consoleRun();
    // The same preparation, then only the engine step on bytes (ConversionJob::convertBytes).
    Result convertBytes(ByteSpan input, FileResult& result, ByteVector& output);

    // ---- JobHost: the operations both controllers answer alike. ----
    bool isCancelRequested() override { return false; }
    bool isRegulateChorus() override { return settings_.regulateChorus; }

    // ---- JobRequest. ----
    std::string inputFileName() const override { return input_; }
    std::string outputFileName() const override { return output_; }
    std::string logFileName() const override { return log_; }
    std::string settingsFileName() const override { return settingsFile_; }
    // Every program prints the outcome's text.
    bool isConsole() const override { return true; }
    void setResultText(const std::string& text) override { resultText_ = text; }

protected:
    VolumeController(int channelMax, std::unique_ptr<FileEngineStep> step);

    VolumeSettings settings_;

private:
    void prepareJob();
    // The MaxGain a TAVI file was converted to is the one the run used, and
    // the values used are saved as the next run's defaults.
    void keepChosenMaxGain();

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

    // The MFi engine decides its own values: the controller only accepts.
    bool volumeRule(int, VolumeChangeRecord*) override { return true; }
    bool channelVolumeHook(int, VolumeChangeRecord*) override { return true; }
    bool insertedChannelVolumeHook(int, VolumeChangeRecord*) override { return true; }
    bool maxGainRule(int, VolumeChangeRecord*) override { return true; }

    bool isAbsoluteMode() override { return settings_.absoluteMode != 0; }
    int dbTenths() override { return settings_.dbTenths; }
    int maxGainSteps() override { return attenuationStepsOfTenths(settings_.maxGainTenths); }
    int masterVolume() override { return settings_.masterVolume; }
    int channelValue(int entry) override;
};

// The controller of a mode: 0 TAVI, 1 MFi.
std::unique_ptr<VolumeController> makeController(int targetFile);

}  // namespace keldro
