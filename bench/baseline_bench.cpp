// The memory limit the engine benchmarks are read against: a memcpy of the
// same number of bytes, at the same sizes, in the same binary and the same
// run. An engine's MB/s divided by this one's is its fraction of memory speed.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/Memory.h"

namespace {

// The engines are measured with the allocator setting the programs start with.
[[maybe_unused]] const bool kAllocatorAsInThePrograms = (keldro::keepFreedMemoryForReuse(), true);

constexpr std::int64_t k4K = 4 * 1024;
constexpr std::int64_t k64K = 64 * 1024;
constexpr std::int64_t k1M = 1024 * 1024;
constexpr std::int64_t k8M = 8 * 1024 * 1024;

void BM_MemcpyBaseline(benchmark::State& state) {
    const auto size = static_cast<std::size_t>(state.range(0));
    // Both buffers written once beforehand, so no page is faulted in while timing.
    std::vector<std::uint8_t> source(size);
    for (std::size_t i = 0; i < size; ++i) source[i] = static_cast<std::uint8_t>(i * 31u + 7u);
    std::vector<std::uint8_t> target(size, 0);
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), size);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

}  // namespace

BENCHMARK(BM_MemcpyBaseline)->Arg(k4K)->Arg(k64K)->Arg(k1M)->Arg(k8M)->Unit(benchmark::kMicrosecond);
