#include "conversion/TaviFileStep.h"

#include "volume/ResultCodes.h"
#include "conversion/ConversionJob.h"
#include "tavi/TaviEngine.h"

namespace keldro {
namespace {

class TaviFileStep final : public FileEngineStep {
public:
    FileMode mode() const override { return FileMode::Tavi; }
    std::string_view extension() const override { return ".mmf"; }
    int wrongInputCode() const override { return kNoTaviFile; }

    int convert(ConversionJob& job, JobHost* host, ByteSpan input, FileResult& result, ByteVector& output) override {
        TaviEngine engine;  // one engine per file, destroyed at its end
        engine.setHost(host);
        const int converted = engine.convert(input.data(), input.size());
        job.reportFile(result, -converted);
        engine.copyChangeRecords(result.changes);
        result.kind = engine.generation();
        if (converted == 0) output = engine.output();
        return result.status;
    }
};

}  // namespace

std::unique_ptr<FileEngineStep> makeTaviFileStep() { return std::make_unique<TaviFileStep>(); }

}  // namespace keldro
