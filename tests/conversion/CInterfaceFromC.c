/* A caller written in C: the interface header must compile as C and link
   without C++ in sight of the caller. The C++ test checks the answers. */
#include "conversion/CInterface.h"

int convertFromC(const uint8_t* input, size_t size, uint8_t* output, size_t capacity, size_t* outputSize) {
    const struct keldro_option options[] = {{"db", "-3"}};
    struct keldro_settings settings = {options, 1, 0, 2026, 12, 10};
    struct keldro_outcome outcome;
    const int status = keldro_convert(KELDRO_TAVI, input, size, &settings, output, capacity, NULL, 0, &outcome);
    *outputSize = outcome.output_size;
    return status;
}
