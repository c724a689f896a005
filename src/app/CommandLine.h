#pragma once
// The argument pass with its version line, help texts and the one
// conversion run.
#include <string>

namespace keldro {

class ConverterApp;
class VolumeController;

void processCommandLine(ConverterApp& app, VolumeController& controller, int argc, char** argv);

// The texts, as printed to standard error.
std::string versionLine(const std::string& executableName);
std::string helpText(bool mfiMode, const std::string& executableName);

}  // namespace keldro
