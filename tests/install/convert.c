/* Another program using the installed core through its C interface: makes the
   TAVI file IN 3 dB quieter into OUT, as "keldro -i IN -o OUT -db -3" does.
   Built by tools/install_test.sh with find_package(keldro) and with pkg-config. */
#include <stdio.h>

#include "conversion/CInterface.h"

int main(int argc, char** argv) {
    static uint8_t input[1 << 16], output[1 << 21];
    static struct keldro_change changes[1 << 12];
    FILE* in = argc == 3 ? fopen(argv[1], "rb") : NULL;
    if (in == NULL) return 2;
    const size_t size = fread(input, 1, sizeof input, in);
    fclose(in);
    const struct keldro_option db = {"db", "-3"};
    const struct keldro_settings settings = {&db, 1, 0, 2026, 1, 1};
    struct keldro_outcome outcome;
    if (keldro_convert(KELDRO_TAVI, input, size, &settings, output, sizeof output, changes, 1 << 12, &outcome) !=
        KELDRO_OK)
        return 2;
    fprintf(stderr, "%s\n", outcome.message);
    FILE* out = fopen(argv[2], "wb");
    if (out == NULL || fwrite(output, 1, outcome.output_size, out) != outcome.output_size || fclose(out) != 0) return 2;
    return outcome.exit_status;
}
