#include "batch/WorkerPool.h"

#include <algorithm>
#include <atomic>
#include <new>
#include <system_error>
#include <vector>

namespace keldro::batch {

std::size_t runParallel(std::size_t count, int workers, const std::function<void(std::size_t)>& task,
                        const ParallelHooks& hooks) {
    if (count == 0) return 0;
    const std::size_t threads = std::clamp<std::size_t>(static_cast<std::size_t>(std::max(workers, 1)), 1, count);
    std::atomic<std::size_t> next{0};
    // Asking before taking an index keeps the started tasks a prefix.
    auto worker = [&] {
        while (!(hooks.stop && hooks.stop())) {
            const std::size_t i = next++;
            if (i >= count) return;
            task(i);
        }
    };
    std::vector<std::thread> pool;
    pool.reserve(threads - 1);
    // A thread the system refuses (a process or memory limit) is not an
    // error of the run: the threads started, the calling one at least, take
    // every task between them.
    try {
        for (std::size_t t = 1; t < threads; ++t)
            pool.push_back(hooks.startThread ? hooks.startThread(worker) : std::thread(worker));
    } catch (const std::system_error&) {
    } catch (const std::bad_alloc&) {}
    if (pool.size() + 1 < threads && hooks.fewerThreads) hooks.fewerThreads(pool.size() + 1, threads);
    worker();
    for (std::thread& t : pool) t.join();
    return std::min(next.load(), count);
}

int processorCount() {
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : static_cast<int>(n);
}

}  // namespace keldro::batch
