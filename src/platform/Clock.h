#pragma once
// Local date and time; the only place the program reads a clock. Engines never
// call it: the conversion flow passes today's date in.

namespace keldro {

struct LocalDateTime {
    int year = 0;
    int month = 0;  // 1..12
    int day = 0;    // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// false when the local time cannot be obtained.
bool localDateTime(LocalDateTime& out);

}  // namespace keldro
