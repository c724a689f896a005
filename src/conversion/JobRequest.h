#pragma once
// What a run of the conversion job is asked to do: which file to read, where
// to write the output, the log and (to keep the log off it) the settings
// file; it receives the outcome's text. The program front ends answer it;
// the engines never see it.
#include <string>

namespace keldro {

class JobRequest {
public:
    virtual ~JobRequest() = default;
    virtual std::string inputFileName() const = 0;
    virtual std::string outputFileName() const = 0;
    // "" when no result log is wanted.
    virtual std::string logFileName() const { return {}; }
    // The settings file of the run, which the log must never replace ("" for none).
    virtual std::string settingsFileName() const { return {}; }
    // The text of every outcome.
    virtual void setResultText(const std::string&) {}
};

}  // namespace keldro
