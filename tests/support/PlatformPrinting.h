#pragma once
// Test failures show the platform's outcomes by name. Every test file of a
// suite sees these printers (the test build includes its layer's printing
// header first, see CMakeLists.txt); gtest finds each PrintTo beside its type.
#include <ostream>

#include "platform/Files.h"

namespace keldro {

inline void PrintTo(ReadOutcome o, std::ostream* os) {
    switch (o) {
        case ReadOutcome::Read: *os << "Read"; return;
        case ReadOutcome::Directory: *os << "Directory"; return;
        case ReadOutcome::TooLarge: *os << "TooLarge"; return;
        case ReadOutcome::Refused: *os << "Refused"; return;
        case ReadOutcome::Failed: *os << "Failed"; return;
    }
}

inline void PrintTo(FreshWrite w, std::ostream* os) {
    *os << (w == FreshWrite::Written ? "Written" : w == FreshWrite::Failed ? "Failed" : "Untouched");
}

}  // namespace keldro
