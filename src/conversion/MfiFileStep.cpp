#include "conversion/MfiFileStep.h"

#include "app/ResultCodes.h"

namespace keldro {
namespace {

// Placeholder until the MFi volume engine lands: every file is refused.
class PendingMfiStep final : public FileEngineStep {
public:
    FileMode mode() const override { return FileMode::Mfi; }
    std::string_view extension() const override { return ".mld"; }
    int wrongInputCode() const override { return kNoMfiFile; }
    int convert(ConversionJob&, JobHost*, ByteSpan, FileResult& result, ByteVector&) override {
        result.status = -kNoMfiFile;
        return result.status;
    }
};

}  // namespace

std::unique_ptr<FileEngineStep> makeMfiFileStep() { return std::make_unique<PendingMfiStep>(); }

int mfiFailureToResultCode(int failure) {
    if (failure >= -1007 && failure <= -1000) return 61 + (-1000 - failure);
    if (failure >= -975 && failure <= -969) return 48 + (failure + 975);
    if (failure >= -967 && failure <= -962) return 55 + (failure + 967);
    return kNoMfiFile;
}

}  // namespace keldro
