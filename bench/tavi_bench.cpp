// Throughput of the TAVI engine: whole-file conversion of a VQ-3 file whose
// score track holds 4 KiB to 8 MiB of events, and the sequence codec.
#include <benchmark/benchmark.h>

#include <random>

#include "volume/JobHost.h"
#include "volume/VolumeSettings.h"
#include "tavi/Crc16.h"
#include "tavi/Huffman.h"
#include "tavi/Engine.h"
#include "tavi/Rules.h"

using namespace keldro::tavi;

namespace keldro {
namespace {

class RelativeHost : public JobHost {
public:
    RelativeHost() { settings_.dbTenths = -30; }
    bool volumeRule(int generation, VolumeChangeRecord* r) override {
        return tavi::volumeRule(settings_, generation, *r);
    }

private:
    VolumeSettings settings_;
};

void appendU32(ByteVector& out, std::size_t v) { ByteWriter(out).u32(static_cast<std::uint32_t>(v)); }

void appendChunk(ByteVector& out, std::string_view id, const ByteVector& body) {
    out.insert(out.end(), id.begin(), id.end());
    appendU32(out, body.size());
    out.insert(out.end(), body.begin(), body.end());
}

// A VQ-3 sequence of about `size` bytes: a master volume, then notes with
// varied keys, durations and gate times, some control changes, the end mark.
ByteVector scoreSequence(std::size_t size) {
    ByteVector seq{0x00, 0xF0, 0x08, 0x7D, 0x01, 0x02, 0x03, 0x00, 100, 0x00, 0xF7};
    std::mt19937 random(3);
    while (seq.size() + 8 < size) {
        const auto r = random();
        seq.push_back(static_cast<std::uint8_t>(r % 48));  // duration
        if (r % 7 == 0) {
            seq.insert(seq.end(), {static_cast<std::uint8_t>(0xB0 | (r >> 8 & 3)), 0x0A, 64});
        } else {
            seq.insert(seq.end(), {static_cast<std::uint8_t>(0x90 | (r >> 8 & 3)),
                                   static_cast<std::uint8_t>(48 + (r >> 12) % 36), 0x64,
                                   static_cast<std::uint8_t>(1 + (r >> 20) % 100)});
        }
    }
    seq.insert(seq.end(), {0x00, 0xFF, 0x2F, 0x00});
    return seq;
}

ByteVector vq3File(const ByteVector& sequence, bool packed) {
    ByteVector track(20, 0);
    track[0] = packed ? 1 : 0;
    track[2] = track[3] = 0x02;
    appendChunk(track, "Mtsq", packed ? huffmanEncode(sequence) : sequence);
    ByteVector file{'M', 'M', 'M', 'D', 0, 0, 0, 0};
    appendChunk(file, "CNTI", {0x00, 0x01, 0x01, 0x00, 0x00, 'S', 'T', ':', 'b', ','});
    appendChunk(file, "MTR\x05", track);
    ByteWriter::patchBE(file, 4, static_cast<std::uint32_t>(file.size() + 2 - 8), 4);
    ByteWriter(file).u16(crc16(file));
    return file;
}

void convertFile(benchmark::State& state, bool packed) {
    const ByteVector file = vq3File(scoreSequence(static_cast<std::size_t>(state.range(0))), packed);
    RelativeHost host;
    for (auto _ : state) {
        const tavi::Conversion converted = tavi::convert(file, &host);
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
