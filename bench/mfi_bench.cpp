// Throughput of the MFi volume engine on files of about 4 KiB to 8 MiB (the
// argument is the file size aimed at; an event takes 4.6 bytes on average):
// read and write alone, the conversion pass (MFi 2.0 channel volumes; MFi 4.0
// MaxGain with effect regulation and its send copies), and the whole engine
// step (pass, second read, change report).
#include <benchmark/benchmark.h>

#include "BenchFiles.h"
#include "mfivolume/ChangeReport.h"
#include "mfivolume/ConversionPass.h"
#include "mfivolume/VolumeFile.h"

using namespace keldro::mfi;

namespace keldro {
namespace {

// +3 dB with effect regulation.
VolumeSettings benchSettings() {
    VolumeSettings settings;
    settings.dbTenths = 30;
    settings.regulateChorus = true;
    return settings;
}

const mfi::Date kToday{2026, 1, 1};

using benchfiles::mfiFile;

void setCounters(benchmark::State& state, const ByteVector& file) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(file.size()));
    state.counters["file_bytes"] = static_cast<double>(file.size());
}

void BM_MfiReadWrite(benchmark::State& state) {
    const ByteVector file = mfiFile("0400", state.range(0));
    for (auto _ : state) {
        mfi::File model;
        ByteVector out;
        benchmark::DoNotOptimize(model.read(file));
        benchmark::DoNotOptimize(model.write(out, kToday));
    }
    setCounters(state, file);
}

// The pass on the read model of the file.
void convertBench(benchmark::State& state, const char* vers, int version) {
    const ByteVector file = mfiFile(vers, state.range(0));
    const VolumeSettings settings = benchSettings();
    std::size_t length = 0;
    for (auto _ : state) {
        mfi::VolumeFile source;
        ConvertedFile converted;
        if (!ok(source.parse(file)) ||
            !ok(runConversionPass(std::move(source), version, 2 * file.size() + 200, converted, settings, &kToday)))
            state.SkipWithError("conversion failed");
        length = converted.bytes.size();
        benchmark::DoNotOptimize(length);
    }
    setCounters(state, file);
    // The work grows with what the pass puts in: copies of effect sends
    // where selections switch type, default volumes.
    state.counters["out_bytes"] = static_cast<double>(length);
}

void BM_MfiConvert20(benchmark::State& state) { convertBench(state, "0200", kMfiVersion20); }
void BM_MfiConvert40Regulated(benchmark::State& state) { convertBench(state, "0400", kMfiVersion40); }

// Read, pass, second read and all reports, as the job's engine step
// (conversion/MfiFileStep.cpp) runs them: MFi 4.0 with MaxGain, effect
// regulation and its send copies; MFi 2.0 with channel volumes.
void engineStepBench(benchmark::State& state, const char* vers, int version) {
    const ByteVector file = mfiFile(vers, state.range(0));
    const VolumeSettings settings = benchSettings();
    std::size_t outBytes = 0;
    std::size_t records = 0;
    for (auto _ : state) {
        mfi::VolumeFile source;
        if (!ok(source.parse(file))) state.SkipWithError("read failed");
        const InputVolumes before(source, InputVolumes::contentsFor(version, settings));
        ConvertedFile converted;
        if (!ok(runConversionPass(std::move(source), version, 2 * file.size() + 200, converted, settings, &kToday)) ||
            !ok(converted.reread))
            state.SkipWithError("conversion failed");
        VolumeChangeList changes;
        const Result result = version == kMfiVersion20
                                  ? reportChannelVolumeChanges(version, before, converted.model, settings, changes)
                                  : reportMaxGainChanges(before, converted.model, settings, changes);
        reportEffectChanges(version, before, converted.model, settings, changes);
        benchmark::DoNotOptimize(result);
        benchmark::DoNotOptimize(changes.data());
        outBytes = converted.bytes.size();
        records = changes.size();
    }
    setCounters(state, file);
    state.counters["out_bytes"] = static_cast<double>(outBytes);
    state.counters["changes"] = static_cast<double>(records);
}

void BM_MfiEngineStep40(benchmark::State& state) { engineStepBench(state, "0400", kMfiVersion40); }
void BM_MfiEngineStep20(benchmark::State& state) { engineStepBench(state, "0200", kMfiVersion20); }

// About 4 KiB, 64 KiB, 1 MiB and 8 MiB.
void fileSizes(benchmark::internal::Benchmark* b) {
    for (const std::int64_t size : {4 << 10, 64 << 10, 1 << 20, 8 << 20}) b->Arg(size);
}

BENCHMARK(BM_MfiReadWrite)->Apply(fileSizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MfiConvert20)->Apply(fileSizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MfiConvert40Regulated)->Apply(fileSizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MfiEngineStep40)->Apply(fileSizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MfiEngineStep20)->Apply(fileSizes)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace keldro
