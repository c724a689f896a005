#include "app/ConverterApp.h"

#include <cstdio>

namespace keldro {

// Placeholder until start-up lands.
int runConverterApp(int, char**) {
    std::printf("0\n");
    return 0;
}

}  // namespace keldro
