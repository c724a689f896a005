// The worker pool when the system refuses threads (a process limit): the
// threads it got, the calling one at least, still run every task once.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <system_error>
#include <vector>

#include "batch/WorkerPool.h"

namespace keldro::batch {
namespace {

TEST(WorkerPool, RunsEveryTaskOnTheThreadsItCouldStart) {
    for (const std::size_t allowed : {std::size_t{0}, std::size_t{2}}) {
        constexpr std::size_t kTasks = 200;
        std::vector<std::atomic<int>> runs(kTasks);
        std::size_t started = 0, got = 0, asked = 0;
        ParallelHooks hooks;
        hooks.startThread = [&](std::function<void()> body) {
            if (started == allowed) throw std::system_error(EAGAIN, std::generic_category(), "pthread_create");
            ++started;
            return std::thread(std::move(body));
        };
        hooks.fewerThreads = [&](std::size_t g, std::size_t a) {
            got = g;
            asked = a;
        };
        EXPECT_EQ(runParallel(
                      kTasks, 8, [&](std::size_t i) { ++runs[i]; }, hooks),
                  kTasks);
        for (std::size_t i = 0; i < kTasks; ++i) EXPECT_EQ(runs[i].load(), 1) << i;
        EXPECT_EQ(got, allowed + 1);  // the calling thread works too
        EXPECT_EQ(asked, 8u);
    }
}

}  // namespace
}  // namespace keldro::batch
