#include "conversion/ByteConversion.h"

#include "conversion/Controllers.h"
#include "volume/Result.h"

namespace keldro {

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
    if (result == Result::NotConverted) outcome.bytes.assign(input.begin(), input.end());
    if (!outcome.succeeded()) outcome.bytes.clear();
    return outcome;
}

}  // namespace keldro
