#include "batch/BatchApp.h"

#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string_view>
#include <system_error>
#include <unordered_set>

#include "batch/BatchConversion.h"
#include "batch/BatchInputs.h"
#include "batch/BatchOptions.h"
#include "batch/BatchReport.h"
#include "batch/InOrder.h"
#include "batch/OutputFolder.h"
#include "conversion/FileInspection.h"
#include "batch/Progress.h"
#include "batch/ResultFile.h"
#include "batch/WorkerPool.h"
#include "platform/Files.h"
#include "platform/Interruption.h"
#include "platform/Shortage.h"
#include "platform/Text.h"

namespace keldro::batch {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
// Plus the signal that stopped the run (130 for Ctrl-C, 143 for SIGTERM), as
// a shell reports a program that the signal ended.
constexpr int kExitInterrupted = 128;

void print(std::FILE* out, const std::string& text) {
    if (!text.empty()) std::fwrite(text.data(), 1, text.size(), out);
    std::fflush(out);
}

int workersFor(const BatchOptions& options) { return options.jobs > 0 ? options.jobs : processorCount(); }

// A system that refuses more threads (a process limit) slows the run down
// but does not end it: the threads it gave do the work.
ParallelHooks poolHooks() {
    ParallelHooks hooks;
    hooks.fewerThreads = [](std::size_t got, std::size_t asked) {
        print(stderr, formatText("keldro-batch: only %zu of %zu threads could be started; going on with %zu\n", got,
                                 asked, got));
    };
    return hooks;
}

int runInspection(const BatchOptions& options, const BatchInputs& inputs) {
    const std::vector<BatchItem>& items = inputs.items;
    std::vector<Inspection> rows(items.size());
    std::vector<Shortage> shortages(items.size());
    Progress progress(items.size(), Progress::stderrIsTerminal());
    runParallel(
        items.size(), workersFor(options),
        [&](std::size_t i) {
            takeShortage();  // what an earlier file of this thread left
            rows[i] = inspectFile(items[i].input, items[i].mode);
            if (!rows[i].ok()) shortages[i] = takeShortage();
            progress.fileDone(items[i].input, rows[i].ok() ? "inspected" : rows[i].message, !rows[i].ok());
        },
        poolHooks());
    progress.finish();
    print(stdout, options.csv ? inspectionCsv(items, rows) : inspectionTable(items, rows));
    print(stderr, inspectionSummary(items, rows, inputs, shortages));
    bool failed = !inputs.unreadable.empty();
    for (const Inspection& row : rows) failed = failed || !row.ok();
    return failed ? kExitFailed : kExitOk;
}

int runConversion(const BatchOptions& options, const BatchInputs& inputs) {
    const std::vector<BatchItem>& items = inputs.items;
    std::unordered_set<std::string_view> newFolders;
    std::string resultPath = (std::filesystem::path(options.outDir) / kResultFileName).string();
    OutputFolderLock lock;  // held to the end of the run
    if (!items.empty()) {
        std::string why;
        switch (makeOutputFolders(options.outDir, resultPath, items, newFolders, lock, why)) {
            case FoldersMade::Made: break;
            case FoldersMade::Refused:
                print(stderr, "keldro-batch: " + why + "; nothing converted\n");
                return kExitUsage;
            case FoldersMade::Failed: print(stderr, "keldro-batch: " + why + "\n"); return kExitFailed;
        }
    }
    const bool resultPathVacant = !fileIdentity(resultPath);
    const BatchRun run{options, std::move(resultPath), resultPathVacant, std::move(newFolders)};
    ResultFile resultFile(run.resultPath);
    ConversionSummary summary(options.normalizeTenths.has_value());
    bool failed = !inputs.unreadable.empty();
    // Files finish in any order; their entries and outcomes are taken in
    // input order, so only those waiting for an earlier file are held.
    InOrder<FileOutcome> reported([&](std::size_t i, FileOutcome& o) {
        resultFile.append(o.logEntry);
        summary.add(items[i], o);
        failed = failed || o.failed();
    });
    Progress progress(items.size(), Progress::stderrIsTerminal());
    // Ctrl-C or SIGTERM stops handing out files; those under way finish and are reported.
    const InterruptWatch interrupt;
    // A file's outcome and its progress line are handed over together: one
    // lock for both, so that workers wait for each other once per file.
    std::mutex reporting;
    ParallelHooks hooks = poolHooks();
    hooks.stop = [&] { return interrupt.requested(); };
    const std::size_t started = runParallel(
        items.size(), workersFor(options),
        [&](std::size_t i) {
            takeShortage();  // what an earlier file of this thread left
            FileOutcome o = options.normalizeTenths ? normalizeFile(items[i], run, *options.normalizeTenths)
                                                    : convertFile(items[i], run);
            if (o.failed()) o.shortage = takeShortage();
            const std::lock_guard<std::mutex> lock(reporting);
            progress.fileDone(items[i].input, o.message, o.failed());
            reported.put(i, std::move(o));
        },
        hooks);
    progress.finish();
    print(stderr, summary.take(inputs));
    if (!resultFile.finish()) {
        print(stderr, "keldro-batch: cannot write " + resultFile.path() + "\n");
        failed = true;
    }
    if (started < items.size()) {
        print(stderr, formatText("keldro-batch: interrupted; %zu of %zu files not converted\n", items.size() - started,
                                 items.size()));
        return kExitInterrupted + interrupt.signal();
    }
    return failed ? kExitFailed : kExitOk;
}

}  // namespace

int runBatch(const std::vector<std::string>& args) {
    const ParsedOptions parsed = parseBatchOptions(args);
    if (!parsed.error.empty()) {
        print(stderr, "keldro-batch: " + parsed.error + "\nTry 'keldro-batch --help'.\n");
        return kExitUsage;
    }
    const BatchOptions& options = parsed.options;
    if (options.help) {
        print(stdout, usageText());
        return kExitOk;
    }
    if (options.version) {
        print(stdout, versionText());
        return kExitOk;
    }
    const BatchInputs inputs = collectInputs(options.paths, options.outDir);
    if (!options.inspect) {
        const std::string resultPath = (std::filesystem::path(options.outDir) / kResultFileName).string();
        if (auto conflict = inputOverwriteConflict(inputs, options.paths, options.outDir, resultPath)) {
            print(stderr, "keldro-batch: " + *conflict + "; nothing converted\n");
            return kExitUsage;
        }
    }
    print(stderr, skippedText(inputs));
    return options.inspect ? runInspection(options, inputs) : runConversion(options, inputs);
}

int runBatch(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i] ? argv[i] : "");
    return runBatch(args);
}

}  // namespace keldro::batch
