#include "conversion/TaviFileStep.h"

#include "volume/Result.h"
#include "conversion/ConversionJob.h"
#include "tavi/Engine.h"

namespace keldro {
namespace {

class TaviFileStep final : public FileEngineStep {
public:
    FileMode mode() const override { return FileMode::Tavi; }
    std::string_view extension() const override { return ".mmf"; }
    Result wrongInput() const override { return Result::NoTaviFile; }
    std::size_t headBytes() const override { return tavi::kFileHeadBytes; }
    Result checkHead(ByteSpan head, std::uint64_t size) const override { return tavi::checkFileHead(head, size); }

    Result convert(ConversionJob& job, const VolumeSettings& settings, ByteSpan input, FileResult& result,
                   ByteVector& output) override {
        tavi::Conversion converted = tavi::convert(input, settings, job.changesWanted());
        job.reportFile(result, converted.result);
        result.changes = std::move(converted.changes);
        result.kind = tavi::kindNumber(converted.generation);
        result.chosenMaxGain = converted.chosenMaxGain;
        if (converted.result == Result::Converted) output = std::move(converted.output);
        return result.outcome;
    }
};

}  // namespace

std::unique_ptr<FileEngineStep> makeTaviFileStep() { return std::make_unique<TaviFileStep>(); }

}  // namespace keldro
