#pragma once
// The application object: start-up (settings file, mode, controller,
// command line, write-back) and exit (exit status on standard output).
#include <memory>
#include <string>

#include "conversion/Controllers.h"
#include "platform/Ini.h"

namespace keldro {

class ConverterApp {
public:
    ConverterApp();
    ~ConverterApp();
    ConverterApp(const ConverterApp&) = delete;
    ConverterApp& operator=(const ConverterApp&) = delete;

    // Reads the settings file beside the executable, picks the mode, acts on
    // the command line (which may convert) and writes the values used back.
    void startUp(int argc, char** argv);
    // Prints the exit status ("%d\n", standard output) and returns it: the
    // result's, or 1 after "Initial file parameter error.".
    int exit();

    // The last result of the run; NotConverted until a conversion runs.
    Result result() const { return result_; }
    void setResult(Result result) { result_ = result; }
    int targetFile() const { return targetFile_; }
    bool regulateChorus() const { return regulateChorus_; }
    void setRegulateChorus(bool regulate) { regulateChorus_ = regulate; }
    const std::string& executableName() const { return executableName_; }
    const std::string& settingsPath() const { return settingsPath_; }

private:
    void loadSettings(const IniFile& settings, VolumeController& controller) const;
    void saveSettings(IniFile& settings, const VolumeController& controller) const;

    int targetFile_ = 0;
    bool regulateChorus_ = false;
    Result result_ = Result::NotConverted;
    // The settings file gave no mode ("Initial file parameter error."): the
    // run ends with the exit status of no result of the table.
    bool settingsUnusable_ = false;
    std::string settingsPath_;
    std::string executableName_;
};

// Runs start-up and exit for one invocation; returns the process exit code.
int runConverterApp(int argc, char** argv);

}  // namespace keldro
