// Throughput of the TAVI engine: whole-file conversion of a VQ-3 file whose
// score track holds 4 KiB to 8 MiB of events, and the sequence codec.
#include <benchmark/benchmark.h>

#include "BenchFiles.h"
#include "volume/VolumeSettings.h"
#include "tavi/Crc16.h"
#include "tavi/Huffman.h"
#include "tavi/Engine.h"

using namespace keldro::tavi;

namespace keldro {
namespace {

using benchfiles::scoreSequence;
using benchfiles::vq3File;

void convertFile(benchmark::State& state, bool packed) {
    const ByteVector file = vq3File(scoreSequence(static_cast<std::size_t>(state.range(0))), packed);
    VolumeSettings settings;
    settings.dbTenths = -30;
    for (auto _ : state) {
        const tavi::Conversion converted = tavi::convert(file, settings);
        if (converted.result != Result::Converted) state.SkipWithError("conversion failed");
        benchmark::DoNotOptimize(converted.output.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void BM_ConvertScoreTrack(benchmark::State& state) { convertFile(state, false); }
void BM_ConvertCompressedScoreTrack(benchmark::State& state) { convertFile(state, true); }

void BM_HuffmanEncode(benchmark::State& state) {
    const ByteVector plain = scoreSequence(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(huffmanEncode(plain).data());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void BM_HuffmanDecode(benchmark::State& state) {
    const ByteVector packed = huffmanEncode(scoreSequence(static_cast<std::size_t>(state.range(0))));
    ByteVector plain;
    for (auto _ : state) {
        if (!huffmanDecode(packed, plain)) state.SkipWithError("expansion failed");
        benchmark::DoNotOptimize(plain.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

constexpr std::int64_t k4K = 4 << 10;
constexpr std::int64_t k64K = 64 << 10;
constexpr std::int64_t k1M = 1 << 20;
constexpr std::int64_t k8M = 8 << 20;

BENCHMARK(BM_ConvertScoreTrack)->Arg(k4K)->Arg(k64K)->Arg(k1M)->Arg(k8M)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertCompressedScoreTrack)->Arg(k4K)->Arg(k64K)->Arg(k1M)->Arg(k8M)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HuffmanEncode)->Arg(k4K)->Arg(k64K)->Arg(k1M)->Arg(k8M)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HuffmanDecode)->Arg(k4K)->Arg(k64K)->Arg(k1M)->Arg(k8M)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace keldro
