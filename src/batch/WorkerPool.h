#pragma once
// Runs one task per index on a number of threads. The tasks must not share
// anything they change; what they report back goes through their own locks.
#include <cstddef>
#include <functional>

namespace keldro::batch {

// Calls task(i) once for every i in 0 ... count - 1, on `workers` threads
// (at least 1, at most count), and returns when all are done. Once `stop`
// answers true no further task starts; the tasks started are always the
// first ones, and their number is returned.
std::size_t runParallel(std::size_t count, int workers, const std::function<void(std::size_t)>& task,
                        const std::function<bool()>& stop = {});

// The number of processors, at least 1.
int processorCount();

}  // namespace keldro::batch
