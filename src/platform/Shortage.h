#pragma once
// What the system ran short of when a request of this thread failed. The
// per-file flow reports such a failure by its result alone ("File read
// error.", "File write error."); keldro-batch's summary also tells why.
namespace keldro {

enum class Shortage { None, OpenFiles, Memory };

// Noted by the file services (no file descriptor left, for the process or
// the system) and by whoever catches std::bad_alloc.
void noteShortage(Shortage what);
// This thread's latest note since the last take; the note is cleared.
Shortage takeShortage();

}  // namespace keldro
