// The MFi conversion through the byte-level interface (read, analyse,
// conversion pass, second read, change report), and the conversion
// pass itself with a fixed date. Any bytes, any settings.
#include <cstdint>
#include <cstdlib>

#include "FuzzSettings.h"
#include "mfivolume/ConversionPass.h"
#include "mfivolume/Rules.h"
#include "mfivolume/VolumeFile.h"

using namespace keldro::mfi;

using namespace keldro;

namespace {

int formatOf(const mfi::Info& info) { return formatOfMfiVersion(mfiVersionOfVers(info.versText())); }

constexpr int kOneByOneLimit = 2000;

int eventsIn(const mfi::VolumeFile& file) {
    int events = 0;
    for (int track = 0; track < file.body().trackCount(); ++track) events += file.eventCount(track);
    return events;
}

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
    // The effect regulation plans its send copies in one go; placing them one
    // by one (which searches the whole model again after every copy, so only
    // on small models) must give the same file.
    if (eventsIn(source) <= kOneByOneLimit) {
        mfi::VolumeFile oneByOne = source;
        const double db = (data[0] & 1) ? 3.0 : -4.5;
        regulateEffects(source, db, SendCopyPlanning::Batched);
        regulateEffects(oneByOne, db, SendCopyPlanning::OneByOne);
        ByteVector batchedBytes;
        ByteVector oneByOneBytes;
        const bool batchedWritten = source.write(batchedBytes, today);
        if (batchedWritten != oneByOne.write(oneByOneBytes, today) || batchedBytes != oneByOneBytes) std::abort();
    }
    return 0;
}
