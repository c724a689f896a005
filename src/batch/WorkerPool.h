#pragma once
// Runs one task per index on a number of threads. The tasks must not share
// anything they change; what they report back goes through their own locks.
#include <cstddef>
#include <functional>
#include <thread>

namespace keldro::batch {

// Starts a thread running `body`, or throws as std::thread does when the
// system refuses one (std::system_error, e.g. under a process limit).
using ThreadStarter = std::function<std::thread(std::function<void()> body)>;

struct ParallelHooks {
    // Once it answers true no further task starts.
    std::function<bool()> stop;
    // Told when fewer threads than asked could be started (`got` counts the
    // calling thread, which always works): the tasks still all run, on those.
    std::function<void(std::size_t got, std::size_t asked)> fewerThreads;
    // How the threads are started; empty: std::thread.
    ThreadStarter startThread;
};

// Calls task(i) once for every i in 0 ... count - 1, on `workers` threads
// (at least 1, at most count; the calling thread is one of them), and
// returns when all are done. The tasks started are always the first ones,
// and their number is returned.
std::size_t runParallel(std::size_t count, int workers, const std::function<void(std::size_t)>& task,
                        const ParallelHooks& hooks = {});

// The number of processors, at least 1.
int processorCount();

}  // namespace keldro::batch
