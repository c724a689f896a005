#pragma once
// Turns the paths of the command line into the list of files to work on, in
// input order: a file stands for itself, a folder for every file below it
// (names sorted, walked depth first). The mode follows the extension; other
// files are skipped. Each file gets its output path under the output folder:
// a file given directly goes to the top, a file found in a folder keeps its
// place below a folder of that folder's name.
#include <optional>
#include <string>
#include <vector>

#include "conversion/ByteConversion.h"
#include "conversion/FileEngineStep.h"

namespace keldro::batch {

struct BatchItem {
    std::string input;
    std::string output;
    FileMode mode = FileMode::Tavi;
};

struct SkippedPath {
    std::string path;
    std::string reason;
};

struct BatchInputs {
    std::vector<BatchItem> items;
    std::vector<SkippedPath> skipped;
    std::vector<std::string> unreadable;  // given paths that do not exist or cannot be listed
};

// ".mmf" TAVI, ".mld" MFi, letter case ignored.
using keldro::modeOfPath;

// The output folder itself is never walked, and no file is planned whose
// output would be the output of an earlier file.
BatchInputs collectInputs(const std::vector<std::string>& paths, const std::string& outDir);

// Why a conversion must not start, naming both paths: the output folder is
// one of the folders given, or a planned output or the result file would
// replace a file named as input (by any spelling or link). Inputs are never
// modified, so such a run converts nothing. nullopt when all is well.
std::optional<std::string> inputOverwriteConflict(const BatchInputs& inputs, const std::vector<std::string>& paths,
                                                  const std::string& outDir, const std::string& resultPath);

}  // namespace keldro::batch
