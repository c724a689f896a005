#pragma once
// How the programs ask the C library to keep freed memory for reuse.

namespace keldro {

// By default the C library gives a large freed block straight back to the
// system, so the next file's model of the same size starts on fresh pages and
// pays a page fault for every 4 KiB it touches, often more than reading the
// file costs. Called once at the start of a program (and of the benchmarks):
// large blocks then come from the heap and stay there for the next file. The
// heap never holds more than the largest files of the run needed at once.
void keepFreedMemoryForReuse();

}  // namespace keldro
