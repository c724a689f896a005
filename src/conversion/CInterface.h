/*
 * The core for callers in other languages (and for a WebAssembly build):
 * plain structs, buffers the caller owns, no exceptions, no global state.
 *
 * keldro_convert converts one file's bytes as keldro would convert the file:
 * the output it fills is what keldro writes. When a buffer is too small it
 * returns KELDRO_TOO_SMALL and the outcome tells how much is needed; call
 * again with larger buffers. Each call converts afresh.
 */
#ifndef KELDRO_C_INTERFACE_H
#define KELDRO_C_INTERFACE_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum keldro_format { KELDRO_TAVI = 0, KELDRO_MFI = 1 };

enum keldro_call_status {
    KELDRO_OK = 0,        /* the outcome, the output and the changes are complete */
    KELDRO_TOO_SMALL = 1, /* the outcome is complete; output_size or change_count exceed the buffers */
    KELDRO_INVALID = -1,  /* a null pointer where data is needed, or an unknown format */
    KELDRO_NO_MEMORY = -2,
};

enum { KELDRO_MESSAGE_SIZE = 128, KELDRO_KIND_TEXT_SIZE = 16 };

/* A volume option as keldro-batch names it without dashes: "db", "mv", "mg",
   "c1" ... "c16", "ca"; the value as text, as on the command line. */
struct keldro_option {
    const char* name;
    const char* value;
};

struct keldro_settings {
    const struct keldro_option* options; /* in order; "db" wins over the absolute options */
    size_t option_count;
    int regulate_chorus;  /* non-zero: also regulate the chorus levels */
    int year, month, day; /* today's date, stamped into MFi files that carry one */
};

/* One changed volume, as the result log lists it. */
struct keldro_change {
    int track; /* TAVI: 1 ... 7 score track, 255 audio; MFi: 0 ... 3, 255 ADPCM */
    int channel;
    int before_volume, after_volume;
    int before_gain, after_gain;
    int before_level, after_level;
    int action;        /* odd: relative change, even: absolute value */
    uint64_t position; /* TAVI: ticks from the sequence start; MFi: milliseconds */
    int timebase;      /* TAVI: milliseconds per tick */
    int gate_timebase; /* TAVI: gate timebase in milliseconds */
};

struct keldro_outcome {
    int result;      /* 0 converted, 1 nothing to change, otherwise the error's number */
    int exit_status; /* keldro's exit status for it */
    char message[KELDRO_MESSAGE_SIZE];
    int kind;           /* TAVI generation 2/3/5/7; MFi version 20/30/31/40; 0 or -1 unknown */
    size_t output_size; /* bytes of the output; 0 after an error */
    size_t change_count;
};

int keldro_convert(int format, const uint8_t* input, size_t input_size, const struct keldro_settings* settings,
                   uint8_t* output, size_t output_capacity, struct keldro_change* changes, size_t change_capacity,
                   struct keldro_outcome* outcome);

/* The levels keldro-batch --inspect shows. */
struct keldro_levels {
    int result; /* 0 when the file could be read, otherwise the error's number */
    char message[KELDRO_MESSAGE_SIZE];
    int kind;
    char kind_text[KELDRO_KIND_TEXT_SIZE]; /* "TAVI/VQ-7", "MFi/3.1", "---" */
    int has_max_gain, max_gain_steps;      /* half-dB steps of attenuation */
    int has_master_volume, master_volume;
    int has_channel_volume, channel_volume;
    int has_peak, peak_tenths; /* tenths of a dB, 0 at the loudest */
};

int keldro_inspect(int format, const uint8_t* input, size_t input_size, struct keldro_levels* levels);

#ifdef __cplusplus
}
#endif

#endif
