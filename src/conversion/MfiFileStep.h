#pragma once
// The MFi engine step of the per-file flow: read and analyse, version check,
// conversion pass, second read, change report, failure mapping.
#include <memory>

#include "conversion/FileEngineStep.h"

namespace keldro {

std::unique_ptr<FileEngineStep> makeMfiFileStep();

// Maps a failure value of the MFi reader, analysis or conversion pass to a result code.
int mfiFailureToResultCode(int failure);

}  // namespace keldro
