#include "conversion/TaviFileStep.h"

#include "volume/ResultCodes.h"
#include "conversion/ConversionJob.h"
#include "tavi/Engine.h"

namespace keldro {
namespace {

class TaviFileStep final : public FileEngineStep {
public:
    FileMode mode() const override { return FileMode::Tavi; }
    std::string_view extension() const override { return ".mmf"; }
    int wrongInputCode() const override { return kNoTaviFile; }

    int convert(ConversionJob& job, JobHost* host, ByteSpan input, FileResult& result, ByteVector& output) override {
        tavi::Conversion converted = tavi::convertTavi(input, host);
        job.reportFile(result, -converted.result);
        result.changes = std::move(converted.changes);
        result.kind = converted.generation;
        if (converted.result == 0) output = std::move(converted.output);
        return result.status;
    }
};

}  // namespace

std::unique_ptr<FileEngineStep> makeTaviFileStep() { return std::make_unique<TaviFileStep>(); }

}  // namespace keldro
