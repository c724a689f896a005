// The TAVI engine step with the TAVI controller's rules: any bytes, any
// settings. A converted file must convert again without a container fault.
#include <cstdint>
#include <cstdlib>

#include "FuzzSettings.h"
#include "volume/ResultCodes.h"
#include "conversion/TaviFileStep.h"
#include "tavi/TaviEngine.h"

using namespace keldro;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < fuzz::kSettingsPrefix) return 0;
    TaviController controller;
    fuzz::applySettings(controller, data);
    controller.job().setHost(&controller);
    const ByteSpan input(data + fuzz::kSettingsPrefix, size - fuzz::kSettingsPrefix);

    auto step = makeTaviFileStep();
    FileResult result;
    ByteVector output;
    const int status = step->convert(controller.job(), &controller, input, result, output);
    if (status != 0) return 0;
    if (output.empty()) std::abort();

    // The output carries fresh lengths and CRC: the engine must accept it again.
    TaviEngine again;
    TaviController relaxed;
    again.setHost(&relaxed);
    const int second = again.convert(output.data(), output.size());
    // Rule and signature outcomes may differ the second time; length and CRC faults may not.
    if (second == -kIllegalCrc || second == -kFileSizeError) std::abort();
    return 0;
}
