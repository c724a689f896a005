#pragma once
// Test failures show the platform's outcomes by name. Every test file of a
// suite sees these printers (the test build includes its layer's printing
// header first, see CMakeLists.txt); gtest finds each PrintTo beside its type.
#include <ostream>

#include "platform/Files.h"

namespace keldro {

inline void PrintTo(ReadOutcome o, std::ostream* os) {
    *os << (o == ReadOutcome::Read ? "Read" : o == ReadOutcome::Directory ? "Directory" : "Failed");
}

inline void PrintTo(FreshWrite w, std::ostream* os) {
    *os << (w == FreshWrite::Written ? "Written" : w == FreshWrite::Failed ? "Failed" : "Untouched");
}

}  // namespace keldro
