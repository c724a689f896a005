#pragma once
// keldro-batch: converts, inspects or normalises whole collections of TAVI and
// MFi files with the same per-file flow and engines as keldro.
#include <string>
#include <vector>

namespace keldro::batch {

// The result file written into the output folder.
inline constexpr const char* kResultFileName = "KELDRO_result.txt";

// Exit status: 0 when no file failed, 1 when any did, 2 for a command line error.
int runBatch(const std::vector<std::string>& args);
int runBatch(int argc, char** argv);

}  // namespace keldro::batch
