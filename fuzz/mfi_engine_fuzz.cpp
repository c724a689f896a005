// The MFi conversion through the byte-level interface (read, analyse,
// conversion pass, second read, change report), and the conversion
// pass itself with a fixed date. Any bytes, any settings.
#include <cstdint>
#include <cstdlib>

#include "FuzzSettings.h"
#include "mfivolume/ConversionPass.h"
#include "mfivolume/VolumeFile.h"

using namespace keldro::mfi;

using namespace keldro;

namespace {

int formatOf(const mfi::Info& info) { return formatOfMfiVersion(mfiVersionOfVers(info.versText())); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < fuzz::kSettingsPrefix) return 0;
    const ByteSpan input(data + fuzz::kSettingsPrefix, size - fuzz::kSettingsPrefix);
    (void)convertBytes(FileMode::Mfi, input, fuzz::settingsFrom(data), fuzz::kToday);
    MfiController controller;
    fuzz::applySettings(controller, data);
    // The pass alone, with the buffer the step gives it and a fixed date; the
    // converted bytes must read back.
    mfi::VolumeFile source;
    if (!ok(source.parse(input))) return 0;
    const int format = formatOf(source.infoRecord());
    if (format == 0) return 0;
    const mfi::Date today{2024, 2, 29};
    ByteVector work(2 * input.size() + 200, 0);
    std::size_t length = 0;
    if (ok(runConversionPass(input, format, format, work, length, &controller, &today))) {
        if (length == 0 || length > work.size()) std::abort();
        mfi::File converted;
        if (!ok(converted.read(ByteSpan(work.data(), length)))) std::abort();
    }
    return 0;
}
