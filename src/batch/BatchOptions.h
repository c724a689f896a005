#pragma once
// The command line of keldro-batch: conventional long options ("--db X" or
// "--db=X") and the paths to work on. The volume options are kept as given,
// in order, and reach each file's controller through its ordinary setters.
#include <optional>
#include <string>
#include <vector>

#include "conversion/VolumeOptions.h"

namespace keldro::batch {

// More threads than this would only wait for the disk and each other.
inline constexpr int kMaxJobs = 1024;

struct BatchOptions {
    std::vector<VolumeOption> volume;  // in command-line order
    bool regulate = false;
    bool inspect = false;
    bool csv = false;
    bool help = false;
    bool version = false;
    std::string outDir = "KELDRO_Output";
    int jobs = 0;                        // 0: one per processor
    std::optional<int> normalizeTenths;  // target peak level, tenths of a dB
    std::vector<std::string> paths;
};

struct ParsedOptions {
    BatchOptions options;
    std::string error;  // empty when the command line is usable
};

ParsedOptions parseBatchOptions(const std::vector<std::string>& args);

std::string usageText();

// keldro-batch's version line: the program name and the release it belongs to.
std::string versionText();

}  // namespace keldro::batch
