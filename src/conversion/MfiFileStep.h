#pragma once
// The MFi engine step of the per-file flow: read and analyse, version check,
// conversion pass, second read, change report.
#include <memory>

#include "conversion/FileEngineStep.h"

namespace keldro {

std::unique_ptr<FileEngineStep> makeMfiFileStep();

}  // namespace keldro
