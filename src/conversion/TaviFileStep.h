#pragma once
// The TAVI engine step of the per-file flow (Part 2.2, engine contract).
#include <memory>

#include "conversion/FileEngineStep.h"

namespace keldro {

std::unique_ptr<FileEngineStep> makeTaviFileStep();

}  // namespace keldro
