// Throughput of the MFi volume engine on files of about 4 KiB to 8 MiB (the
// argument is the file size aimed at; an event takes 4.6 bytes on average):
// read and write alone, the conversion pass (MFi 2.0 channel volumes; MFi 4.0
// MaxGain with effect regulation and its send copies), and the whole engine
// step (pass, second read, change report).
#include <benchmark/benchmark.h>

#include "BenchFiles.h"
#include "volume/JobHost.h"
#include "mfivolume/ChangeReport.h"
#include "mfivolume/ConversionPass.h"
#include "mfivolume/VolumeFile.h"

using namespace keldro::mfi;

namespace keldro {
namespace {

class BenchHost : public JobHost {
public:
    bool isRegulateChorus() override { return true; }
    bool volumeRule(int, VolumeChangeRecord*) override { return true; }
    bool channelVolumeHook(int, VolumeChangeRecord*) override { return true; }
    bool insertedChannelVolumeHook(int, VolumeChangeRecord*) override { return true; }
    bool maxGainRule(int, VolumeChangeRecord*) override { return true; }
    int dbTenths() override { return 30; }
};

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

void convertBench(benchmark::State& state, const char* vers, int format) {
    const ByteVector file = mfiFile(vers, state.range(0));
    BenchHost host;
    ByteVector work(2 * file.size() + 200);
    std::size_t length = 0;
    for (auto _ : state) {
        if (!ok(runConversionPass(file, format, format, work, length, &host, &kToday)))
            state.SkipWithError("conversion failed");
        benchmark::DoNotOptimize(length);
    }
    setCounters(state, file);
    // The work grows with what the pass puts in: copies of effect sends
    // where selections switch type, default volumes.
    state.counters["out_bytes"] = static_cast<double>(length);
}

void BM_MfiConvert20(benchmark::State& state) { convertBench(state, "0200", kFormatMfi20); }
void BM_MfiConvert40Regulated(benchmark::State& state) { convertBench(state, "0400", kFormatMfi40); }

// Read, pass, second read and all reports, as the job's engine step
// (conversion/MfiFileStep.cpp) runs them: MFi 4.0 with MaxGain, effect
// regulation and its send copies; MFi 2.0 with channel volumes.
void engineStepBench(benchmark::State& state, const char* vers, int format) {
    const ByteVector file = mfiFile(vers, state.range(0));
    BenchHost host;
    std::size_t outBytes = 0;
    std::size_t records = 0;
    const int version = format == kFormatMfi20 ? kMfiVersion20 : kMfiVersion40;
    for (auto _ : state) {
        mfi::VolumeFile source;
        if (!ok(source.parse(file))) state.SkipWithError("read failed");
        const InputVolumes before(source, InputVolumes::contentsFor(version, &host));
        ConvertedFile converted;
        if (!ok(runConversionPass(file, std::move(source), format, format, 2 * file.size() + 200, converted, &host,
                                  &kToday)) ||
            !ok(converted.reread))
            state.SkipWithError("conversion failed");
        VolumeChangeList changes;
        const Result result = format == kFormatMfi20
                                  ? reportChannelVolumeChanges(version, before, converted.model, &host, changes)
                                  : reportMaxGainChanges(version, before, converted.model, &host, changes);
        reportEffectChanges(version, before, converted.model, &host, changes);
        benchmark::DoNotOptimize(result);
        benchmark::DoNotOptimize(changes.data());
        outBytes = converted.bytes.size();
        records = changes.size();
    }
    setCounters(state, file);
    state.counters["out_bytes"] = static_cast<double>(outBytes);
    state.counters["changes"] = static_cast<double>(records);
}

void BM_MfiEngineStep40(benchmark::State& state) { engineStepBench(state, "0400", kFormatMfi40); }
void BM_MfiEngineStep20(benchmark::State& state) { engineStepBench(state, "0200", kFormatMfi20); }

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
