#pragma once
// Test failures show an MFi event kind by its number (the kinds are a dense
// enumeration: see mfi/EventKind.h), never as "1-byte object <..>".
#include <ostream>

#include "VolumePrinting.h"  // beside this header: benchmarks include the builders by path
#include "mfi/EventKind.h"

namespace keldro::mfi {

inline void PrintTo(EventKind k, std::ostream* os) { *os << "EventKind " << static_cast<int>(k); }

}  // namespace keldro::mfi
