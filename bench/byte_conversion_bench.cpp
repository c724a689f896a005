// Throughput of the byte-level conversion (convertBytes: the whole flow of
// one file as the C interface and the WebAssembly module run it) on MFi
// files of about 1 and 8 MiB: MFi 2.0 at -3 dB (a change record for every
// channel volume) and MFi 4.0 at -3 dB with chorus regulation (MaxGain and
// effect sends).
//
// With KELDRO_BENCH_WRITE_DIR set, each benchmark also writes its input there
// as <name>_<size>.mld, so that bench/web_bench.mjs times the module on the
// very same bytes.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <string>

#include "../tests/support/MfiBuilder.h"
#include "conversion/ByteConversion.h"

namespace keldro {
namespace {

using test::MfiBuilder;
using test::MfiTrackBuilder;

constexpr LocalDateTime kToday{2026, 1, 1, 12, 0, 0};

// Four effect blocks of a regulated (chorus) type, each with a level of 90.
ByteVector chorusBlocks() {
    ByteVector blocks(4 * 32, 0);
    for (std::size_t b = 0; b < 4; ++b) {
        blocks[b * 32] = 0x49;
        blocks[b * 32 + 12] = 90;
    }
    return blocks;
}

// Four tracks of notes on four channels with a channel volume about every
// sixth event; MFi 4.0 also gets effect settings, selections and sends.
ByteVector songOfSize(bool effects, std::size_t targetBytes) {
    std::mt19937 random(11);
    MfiBuilder builder;
    builder.canonicalInfo(effects ? "0400" : "0200");
    for (int track = 0; track < 4; ++track) {
        MfiTrackBuilder t;
        if (track == 0) {
            if (effects) t.maxGain(0, 6);
            t.masterVolume(0, 100).tempo(0, 3, 120);
            if (effects) t.effectSettings(0, chorusBlocks());
        }
        while (t.bytes().size() < targetBytes / 4) {
            const auto r = random();
            const auto delta = static_cast<std::uint8_t>(r % 16);
            const int channel = static_cast<int>(r >> 8) & 3;
            const auto pick = (r >> 12) % 12;
            if (pick < 2)
                t.channelVolume(delta, channel, static_cast<int>(r >> 20) % 64);
            else if (effects && pick == 2)
                t.effectSend(delta, channel, true, static_cast<std::uint8_t>(1 + (r >> 20) % 100));
            else
                t.note(delta, channel);
        }
        builder.trac(t);
    }
    return builder.build();
}

void writeInput(const std::string& name, const ByteVector& bytes) {
    const char* dir = std::getenv("KELDRO_BENCH_WRITE_DIR");
    if (dir == nullptr) return;
    std::ofstream(std::string(dir) + "/" + name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void convertBytesBench(benchmark::State& state, const char* name, bool effects) {
    const ByteVector file = songOfSize(effects, static_cast<std::size_t>(state.range(0)));
    writeInput(std::string(name) + "_" + std::to_string(state.range(0) >> 20) + "MiB.mld", file);
    const ConversionSettings settings{{{"db", "-3"}}, effects};
    std::size_t records = 0;
    for (auto _ : state) {
        const ConversionOutcome o = convertBytes(FileMode::Mfi, ByteSpan(file), settings, kToday);
        if (o.result != Result::Converted) state.SkipWithError(o.message.c_str());
        records = o.changes.size();
        benchmark::DoNotOptimize(o.bytes.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(file.size()));
    state.counters["file_bytes"] = static_cast<double>(file.size());
    state.counters["changes"] = static_cast<double>(records);
}

void BM_ConvertBytesMfi20(benchmark::State& state) { convertBytesBench(state, "mfi20", false); }
void BM_ConvertBytesMfi40Regulated(benchmark::State& state) { convertBytesBench(state, "mfi40", true); }

BENCHMARK(BM_ConvertBytesMfi20)->Arg(1 << 20)->Arg(8 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertBytesMfi40Regulated)->Arg(1 << 20)->Arg(8 << 20)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace keldro
