// The TAVI conversion through the byte-level interface: any bytes, any
// settings. A converted file must convert again without a container fault,
// convert again with the same settings, and be inspected whenever its input
// could be.
#include <cstdint>
#include <cstdlib>

#include "FuzzSettings.h"
#include "volume/Result.h"
#include "tavi/Engine.h"

using namespace keldro::tavi;

using namespace keldro;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < fuzz::kSettingsPrefix) return 0;
    const ByteSpan input(data + fuzz::kSettingsPrefix, size - fuzz::kSettingsPrefix);
    const ConversionOutcome converted = convertBytes(FileMode::Tavi, input, fuzz::settingsFrom(data), fuzz::kToday);
    if (converted.result != Result::Converted) return 0;
    if (converted.bytes.empty()) std::abort();
    // The output carries fresh lengths and CRC: the engine must accept it again.
    const Result second = tavi::convert(converted.bytes, VolumeSettings{}).result;
    // With other settings rule outcomes may differ (an audio volume inserted
    // or not); length and CRC faults may not.
    if (second == Result::IllegalCrc || second == Result::FileSizeError) std::abort();
    // Converting it again is converting it a little further.
    if (!isSuccess(convertBytes(FileMode::Tavi, converted.bytes, fuzz::settingsFrom(data), fuzz::kToday).result))
        std::abort();
    if (inspect(FileMode::Tavi, input).ok() && !inspect(FileMode::Tavi, converted.bytes).ok()) std::abort();
    return 0;
}
