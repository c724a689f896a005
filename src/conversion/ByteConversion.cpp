#include "conversion/ByteConversion.h"

#include "conversion/Controllers.h"
#include "conversion/Normalization.h"
#include "conversion/ResultLog.h"
#include "platform/Text.h"
#include "volume/Result.h"

namespace keldro {

std::optional<FileMode> modeOfPath(const std::string& path) {
    if (endsWithIgnoreCase(path, ".mmf")) return FileMode::Tavi;
    if (endsWithIgnoreCase(path, ".mld")) return FileMode::Mfi;
    return std::nullopt;
}

ConversionOutcome convertBytes(FileMode mode, ByteSpan input, const ConversionSettings& settings,
                               const LocalDateTime& today) {
    std::unique_ptr<VolumeController> c = controllerWithOptions(mode, settings.volume, settings.regulateChorus);
    c->job().setClock([today](LocalDateTime& out) {
        out = today;
        return true;
    });

    FileResult file;
    ConversionOutcome outcome;
    const Result result = c->convertBytes(input, file, outcome.bytes);
    outcome.result = file.outcome;
    outcome.message = file.message;
    outcome.exitStatus = resultExitStatus(outcome.result);
    outcome.kind = file.kind;
    outcome.changes = std::move(file.changes);
    outcome.dbTenths = c->settings().dbTenths;
    if (result == Result::NotConverted) outcome.bytes.assign(input.begin(), input.end());
    if (!outcome.succeeded()) outcome.bytes.clear();
    return outcome;
}

NormalizedOutcome normalizeBytes(FileMode mode, ByteSpan input, int targetTenths, bool regulateChorus,
                                 const LocalDateTime& today) {
    const Inspection found = inspectBytes(input, mode);
    NormalizedOutcome normalized;
    normalized.changeTenths = normalizingChangeFor(found, targetTenths);
    if (normalized.changeTenths) {
        // The change reaches the controller as a relative option, as it does in keldro-batch.
        const ConversionSettings settings{{{"db", formatText("%.1f", *normalized.changeTenths * 0.1)}}, regulateChorus};
        normalized.outcome = convertBytes(mode, input, settings, today);
        return normalized;
    }
    ConversionOutcome& o = normalized.outcome;
    o.result = Result::NotConverted;
    o.message = std::string(resultMessage(o.result));
    o.exitStatus = resultExitStatus(o.result);
    o.bytes.assign(input.begin(), input.end());
    o.kind = found.kind;
    return normalized;
}

std::string resultLogEntry(FileMode mode, const ConversionOutcome& outcome, bool regulateChorus,
                           const std::string& inputName, const std::string& outputName, const LocalDateTime& now) {
    LogContext context;
    context.mode = mode;
    context.inputFileName = inputName;
    context.outputFileName = outputName;
    context.regulateChorus = regulateChorus;
    context.dbTenths = outcome.dbTenths;
    FileResult result;
    result.outcome = outcome.result;
    result.message = outcome.message;
    result.kind = outcome.kind;
    result.changes = outcome.changes;
    return buildLogEntry(context, result, now);
}

}  // namespace keldro
