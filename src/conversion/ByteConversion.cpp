#include "conversion/ByteConversion.h"

#include "conversion/Controllers.h"
#include "volume/ResultCodes.h"

namespace keldro {

ConversionOutcome convertBytes(FileMode mode, ByteSpan input, const ConversionSettings& settings,
                               const LocalDateTime& today) {
    // A fresh controller per file: the VQ-7 rules keep what they found in it.
    std::unique_ptr<VolumeController> c = makeController(mode == FileMode::Tavi ? 0 : 1);
    applyDefaultSettings(*c);
    applyVolumeOptions(*c, settings.volume);
    ConversionJob& job = c->job();
    job.setRegulateChorus(settings.regulateChorus ? 1 : 0);
    job.setClock([today](LocalDateTime& out) {
        out = today;
        return true;
    });

    FileResult file;
    ConversionOutcome outcome;
    const int status = c->convertBytes(input, file, outcome.bytes);
    outcome.result = -file.status;
    outcome.message = file.message;
    outcome.exitStatus = resultExitStatus(outcome.result);
    outcome.kind = file.kind;
    outcome.changes = std::move(file.changes);
    if (status == -kNotConverted) outcome.bytes.assign(input.begin(), input.end());
    if (!outcome.succeeded()) outcome.bytes.clear();
    return outcome;
}

}  // namespace keldro
