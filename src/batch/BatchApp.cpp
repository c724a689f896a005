#include "batch/BatchApp.h"

#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <string_view>
#include <system_error>
#include <unordered_set>

#include "batch/BatchConversion.h"
#include "batch/BatchInputs.h"
#include "batch/BatchOptions.h"
#include "batch/BatchReport.h"
#include "conversion/FileInspection.h"
#include "batch/Progress.h"
#include "batch/ResultFile.h"
#include "batch/WorkerPool.h"
#include "platform/Files.h"
#include "platform/Interruption.h"
#include "platform/Text.h"

namespace keldro::batch {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitInterrupted = 130;  // as a shell reports a program ended by Ctrl-C

void print(std::FILE* out, const std::string& text) {
    if (!text.empty()) std::fwrite(text.data(), 1, text.size(), out);
    std::fflush(out);
}

int workersFor(const BatchOptions& options) { return options.jobs > 0 ? options.jobs : processorCount(); }

int runInspection(const BatchOptions& options, const BatchInputs& inputs) {
    const std::vector<BatchItem>& items = inputs.items;
    std::vector<Inspection> rows(items.size());
    Progress progress(items.size(), Progress::stderrIsTerminal());
    runParallel(items.size(), workersFor(options), [&](std::size_t i) {
        rows[i] = inspectFile(items[i].input, items[i].mode);
        progress.fileDone(items[i].input, rows[i].ok() ? "inspected" : rows[i].message, !rows[i].ok());
    });
    progress.finish();
    print(stdout, options.csv ? inspectionCsv(items, rows) : inspectionTable(items, rows));
    print(stderr, inspectionSummary(items, rows, inputs));
    bool failed = !inputs.unreadable.empty();
    for (const Inspection& row : rows) failed = failed || !row.ok();
    return failed ? kExitFailed : kExitOk;
}

// Every folder the outputs go to, made before the workers start. The folders
// made now (not there before) are added to `made`, as the text of their
// outputs' paths up to the last '/'.
bool makeOutputFolders(const std::string& outDir, const std::vector<BatchItem>& items,
                       std::unordered_set<std::string_view>& made) {
    namespace fs = std::filesystem;
    std::map<fs::path, std::vector<std::string_view>> folders{{fs::path(outDir), {}}};
    // Files of one folder come one after the other: the text up to an output's
    // last '/' decides its folder (its name is a plain one), so a run of them
    // needs the library once.
    std::string_view previous;
    for (const BatchItem& item : items) {
        const std::string_view output(item.output);
        const std::string_view text = output.substr(0, output.rfind('/') + 1);
        const std::string_view name = output.substr(text.size());
        const bool plain = !name.empty() && name != "." && name != "..";
        if (!plain || !previous.data() || text != previous) folders[fs::path(item.output).parent_path()].push_back(text);
        previous = plain ? text : std::string_view();
    }
    for (const auto& [folder, texts] : folders) {
        std::error_code ec;
        const bool created = fs::create_directories(folder, ec);
        if (!fs::is_directory(folder, ec)) {
            print(stderr, "keldro-batch: cannot create the folder " + folder.string() + "\n");
            return false;
        }
        if (created)
            made.insert(texts.begin(), texts.end());
    }
    return true;
}

int runConversion(const BatchOptions& options, const BatchInputs& inputs) {
    const std::vector<BatchItem>& items = inputs.items;
    std::unordered_set<std::string_view> newFolders;
    if (!items.empty() && !makeOutputFolders(options.outDir, items, newFolders)) return kExitFailed;
    std::string resultPath = (std::filesystem::path(options.outDir) / kResultFileName).string();
    const bool resultPathVacant = !fileIdentity(resultPath);
    const BatchRun run{options, std::move(resultPath), resultPathVacant, std::move(newFolders)};
    ResultFile resultFile(run.resultPath, items.size());
    std::vector<FileOutcome> outcomes(items.size());
    Progress progress(items.size(), Progress::stderrIsTerminal());
    // Ctrl-C stops handing out files; those under way finish and are reported.
    const InterruptWatch interrupt;
    // A file's entry and its progress line are handed over together: one
    // lock for both, so that workers wait for each other once per file.
    std::mutex reporting;
    const std::size_t started = runParallel(
        items.size(), workersFor(options),
        [&](std::size_t i) {
            FileOutcome& o = outcomes[i];
            o = options.normalizeTenths ? normalizeFile(items[i], run, *options.normalizeTenths)
                                        : convertFile(items[i], run);
            const std::lock_guard<std::mutex> lock(reporting);
            resultFile.put(i, std::move(o.logEntry));
            progress.fileDone(items[i].input, o.message, o.failed());
        },
        [&] { return interrupt.requested(); });
    progress.finish();
    outcomes.resize(started);
    print(stderr, conversionSummary(items, outcomes, inputs, options.normalizeTenths.has_value()));
    bool failed = !inputs.unreadable.empty();
    for (const FileOutcome& o : outcomes) failed = failed || o.failed();
    if (!resultFile.finish()) {
        print(stderr, "keldro-batch: cannot write " + resultFile.path() + "\n");
        failed = true;
    }
    if (started < items.size()) {
        print(stderr, formatText("keldro-batch: interrupted; %zu of %zu files not converted\n", items.size() - started,
                                 items.size()));
        return kExitInterrupted;
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
