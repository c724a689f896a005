#pragma once
// The TAVI engine step of the per-file flow.
#include <memory>

#include "conversion/FileEngineStep.h"

namespace keldro {

std::unique_ptr<FileEngineStep> makeTaviFileStep();

}  // namespace keldro
