#pragma once
// Test failures name a result by its number and message.
#include <ostream>

#include "volume/Result.h"

namespace keldro {

inline void PrintTo(Result r, std::ostream* os) { *os << resultNumber(r) << " \"" << resultMessage(r) << "\""; }

}  // namespace keldro
