// Peak memory of one conversion per input byte: every TAVI chip generation
// and MFi version under the settings that take different paths (relative,
// absolute, MaxGain, channel volumes, chorus regulation), at 1, 8 and 64 MiB.
// The heap is counted through a replaced operator new as the C library holds
// it (each block's usable size and its header), so many small blocks cost
// what they really cost: the peak of the bytes in use while convertBytes
// runs, above what was in use before it ("heap"). "held" adds the input,
// which the caller holds: what one conversion keeps in memory at its peak.
// Each row runs in a process of its own, with the allocator set as the
// programs set it: "rss" is that process's peak resident size while it
// converts (the input, the program and what the allocator keeps included),
// what a user of the programs sees.
//
//   keldro_memory_bench [MiB ...] [--only TEXT]   (default 1 8 64; TEXT picks rows by name)
//   keldro_memory_bench --write DIR KiB           (writes each kind's file of that size, to compare builds)
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "../BenchFiles.h"
#include "conversion/ByteConversion.h"
#include "platform/Memory.h"
#include "volume/Result.h"

namespace {

std::atomic<std::size_t> gInUse{0};
std::atomic<std::size_t> gPeak{0};

// A block as the C library keeps it: its usable bytes and the size word in front.
std::size_t heldBytes(void* p) { return malloc_usable_size(p) + sizeof(std::size_t); }

void* allocate(std::size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) throw std::bad_alloc();
    const std::size_t now = gInUse.fetch_add(heldBytes(p)) + heldBytes(p);
    std::size_t peak = gPeak.load();
    while (now > peak && !gPeak.compare_exchange_weak(peak, now)) {}
    return p;
}

void release(void* p) noexcept {
    if (p == nullptr) return;
    gInUse.fetch_sub(heldBytes(p));
    std::free(p);
}

// The most heap in use between construction and peakBytes(), above what was
// in use at construction.
class HeapMeter {
public:
    HeapMeter() : base_(gInUse.load()) { gPeak.store(base_); }
    std::size_t peakBytes() const { return gPeak.load() - base_; }

private:
    std::size_t base_;
};

}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& t) noexcept { return operator new(size, t); }
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }

namespace keldro {
namespace {

struct Kind {
    const char* name;
    FileMode mode;
    std::function<ByteVector(std::size_t)> build;  // a file of about that many bytes
    std::vector<const char*> options;              // the settings to run, as keldro's options
};

// "-db -3 -e" as the byte-level interface takes it.
ConversionSettings settingsOf(const char* text) {
    ConversionSettings settings;
    std::vector<std::string> words;
    for (const char* p = text; *p;) {
        while (*p == ' ') ++p;
        const char* end = p;
        while (*end && *end != ' ') ++end;
        if (end > p) words.emplace_back(p, end);
        p = end;
    }
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (words[i] == "-e")
            settings.regulateChorus = true;
        else if (i + 1 < words.size()) {
            settings.volume.push_back({words[i].substr(1), words[i + 1]});
            ++i;
        }
    }
    return settings;
}

std::vector<Kind> kinds() {
    using namespace benchfiles;
    return {
        {"TAVI VQ-2", FileMode::Tavi, [](std::size_t n) { return vq2File(n, n); }, {"-db -3", "-c1 50"}},
        // Short sequences, each given a default volume for all four channels.
        {"TAVI VQ-2 inserts", FileMode::Tavi, [](std::size_t n) { return vq2File(n, 48); }, {"-db -3", "-c1 50"}},
        {"TAVI VQ-2 audio", FileMode::Tavi, [](std::size_t n) { return vq2AudioFile(n); }, {"-db -3"}},
        {"TAVI VQ-3",
         FileMode::Tavi,
         [](std::size_t n) { return vq35File(5, scoreSequence(n), false); },
         {"-db -3", "-mv 90"}},
        {"TAVI VQ-3 packed",
         FileMode::Tavi,
         [](std::size_t n) { return vq35File(5, scoreSequence(n * 4 / 3), true); },
         {"-db -3", "-mv 90"}},
        {"TAVI VQ-5",
         FileMode::Tavi,
         [](std::size_t n) { return vq35File(6, scoreSequence(n), false); },
         {"-db -3", "-mv 90"}},
        {"TAVI VQ-7",
         FileMode::Tavi,
         [](std::size_t n) { return vq7File(n); },
         {"-db -3", "-db -3 -e", "-mv 90", "-mg -3", "-mg -3 -e"}},
        {"MFi 2.0",
         FileMode::Mfi,
         [](std::size_t n) { return mfiFile("0200", static_cast<std::int64_t>(n)); },
         {"-db -3", "-c1 50", "-ca 10"}},
        {"MFi 3.0",
         FileMode::Mfi,
         [](std::size_t n) { return mfiFile("0300", static_cast<std::int64_t>(n)); },
         {"-db -3", "-mg -3"}},
        {"MFi 3.1",
         FileMode::Mfi,
         [](std::size_t n) { return mfiFile("0301", static_cast<std::int64_t>(n)); },
         {"-db -3", "-mg -3"}},
        {"MFi 4.0",
         FileMode::Mfi,
         [](std::size_t n) { return mfiFile("0400", static_cast<std::int64_t>(n)); },
         {"-db -3", "-db -3 -e", "-mg -3", "-mg -3 -e"}},
        // Files where every event is a change: a record per four bytes.
        {"TAVI VQ-2 volumes", FileMode::Tavi, [](std::size_t n) { return vq2VolumesFile(n, n); }, {"-db -3", "-c1 50"}},
        {"TAVI VQ-2 vol seqs", FileMode::Tavi, [](std::size_t n) { return vq2VolumesFile(n, 4096); }, {"-db -3"}},
        {"MFi 2.0 volumes",
         FileMode::Mfi,
         [](std::size_t n) { return mfiVolumesFile(static_cast<std::int64_t>(n), 0); },
         {"-db -3", "-c1 50"}},
        {"MFi 2.0 notes+vols",
         FileMode::Mfi,
         [](std::size_t n) { return mfiVolumesFile(static_cast<std::int64_t>(n), 3); },
         {"-db -3"}},
    };
}

constexpr std::size_t kMiB = 1 << 20;

// The peak resident size so far, in bytes.
std::size_t peakResident() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<std::size_t>(usage.ru_maxrss) * 1024;
}

// Starts the peak resident size afresh from what is resident now.
void resetPeakResident() { std::ofstream("/proc/self/clear_refs") << "5"; }

void run(const Kind& kind, const char* option, std::size_t mib) {
    const ByteVector input = kind.build(mib * kMiB);
    const ConversionSettings settings = settingsOf(option);
    const LocalDateTime today{2026, 1, 1, 12, 0, 0};
    // From here on the allocator works as in the programs; what building the
    // input left behind goes back first.
    keepFreedMemoryForReuse();
    malloc_trim(0);
    resetPeakResident();
    const auto start = std::chrono::steady_clock::now();
    std::size_t peak = 0;
    Result result = Result::Converted;
    std::size_t changes = 0;
    {
        HeapMeter meter;
        const ConversionOutcome outcome = convertBytes(kind.mode, input, settings, today);
        peak = meter.peakBytes();
        result = outcome.result;
        changes = outcome.changes.size();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double size = static_cast<double>(input.size());
    const double held = size + static_cast<double>(peak);
    const double rss = static_cast<double>(peakResident());
    const double bound = 8 * size + static_cast<double>(kMiB);
    std::printf("%-18s %-10s %3zu MiB %10zu %9zu %-13s %12zu %6.2f %6.2f %6.2f %7.2f %s\n", kind.name, option, mib,
                input.size(), changes,
                isSuccess(result) ? (result == Result::Converted ? "Converted" : "NotConverted") : "error", peak,
                static_cast<double>(peak) / size, held / size, rss / size, seconds,
                held <= bound && rss <= bound ? "" : "over 8x+1MiB");
    std::fflush(stdout);
}

// Each row in a process of its own, so that its peak resident size is its own.
void runApart(const Kind& kind, const char* option, std::size_t mib) {
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        run(kind, option, mib);
        std::_Exit(0);
    }
    int status = 0;
    if (child > 0) waitpid(child, &status, 0);
}

}  // namespace
}  // namespace keldro

namespace keldro {
namespace {

int writeFiles(const std::string& dir, std::size_t kib) {
    for (const Kind& kind : kinds()) {
        std::string name = kind.name;
        for (char& c : name)
            if (c == ' ') c = '_';
        const ByteVector bytes = kind.build(kib << 10);
        std::ofstream(dir + "/" + name + (kind.mode == FileMode::Tavi ? ".mmf" : ".mld"), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    return 0;
}

}  // namespace
}  // namespace keldro

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--write") == 0)
        return keldro::writeFiles(argv[2], static_cast<std::size_t>(std::strtoul(argv[3], nullptr, 10)));
    std::vector<std::size_t> sizes;
    const char* only = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc)
            only = argv[++i];
        else
            sizes.push_back(static_cast<std::size_t>(std::strtoul(argv[i], nullptr, 10)));
    }
    if (sizes.empty()) sizes = {1, 8, 64};
    std::printf("%-18s %-10s %7s %10s %9s %-13s %12s %6s %6s %6s %7s\n", "kind", "options", "size", "input", "changes",
                "result", "peak_heap", "heap/B", "held/B", "rss/B", "seconds");
    for (const keldro::Kind& kind : keldro::kinds())
        for (const char* option : kind.options) {
            const std::string row = std::string(kind.name) + " " + option;
            if (only && row.find(only) == std::string::npos) continue;
            for (const std::size_t mib : sizes) keldro::runApart(kind, option, mib);
        }
}
