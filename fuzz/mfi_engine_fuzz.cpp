// The MFi conversion through the byte-level interface (read, analyse,
// conversion pass, second read, change report), and the conversion
// pass itself with a fixed date. Any bytes, any settings. A converted file
// must convert again with the same settings and be inspected whenever its
// input could be.
#include <cstdint>
#include <cstdlib>

#include "FuzzSettings.h"
#include "mfivolume/ConversionPass.h"
#include "mfivolume/Rules.h"
#include "mfivolume/VolumeFile.h"

using namespace keldro::mfi;

using namespace keldro;

namespace {

constexpr int kOneByOneLimit = 2000;

int eventsIn(const mfi::VolumeFile& file) {
    int events = 0;
    for (int track = 0; track < file.body().trackCount(); ++track) events += file.eventCount(track);
    return events;
}

// The channel volume rule a channel at a time: each default volume put in on
// its own and each channel's volumes walked on their own. The rule puts a
// track's default volumes in at once and walks its volumes once; both must
// give the same file. (ADPCM volumes go the same way in both.)
void channelRuleOneByOne(mfi::VolumeFile& model, const VolumeSettings& settings) {
    for (int track = 0; track < 4; ++track)
        for (int channel = 0; channel < 4; ++channel) {
            const int value = settings.channelValue(track * 4 + channel);
            if (settings.isAbsolute() && value < 0) continue;
            const int note = model.firstNoteOf(track, 0, channel);
            if (note < 0) continue;
            const int volume = model.nextChannelVolumeOf(track, 0, channel);
            if (volume < 0 || volume > note) model.insertDefaultVolume(track, note, channel);
            for (int j = model.nextChannelVolumeOf(track, 0, channel); j >= 0;
                 j = model.nextChannelVolumeOf(track, j + 1, channel))
                model.setChannelVolume(
                    track, j,
                    !settings.isAbsolute()
                        ? relativeMfiChannelVolume(model.eventAt(track, j)->channelVolume(), settings.db())
                        : value);
        }
}

VolumeSettings channelRuleSettings(const std::uint8_t* p) {
    VolumeSettings settings;
    settings.absoluteMode = p[0] & 1;
    settings.dbTenths = static_cast<std::int8_t>(p[1]) * 5;
    for (std::size_t entry = 0; entry < 16; ++entry) {
        settings.channelGiven[entry] = (p[2] >> (entry % 8)) & 1;
        settings.channelVolume[entry] = p[3] & 0x3F;
    }
    return settings;
}

bool sameFile(mfi::VolumeFile& a, mfi::VolumeFile& b, const mfi::Date& today) {
    ByteVector aBytes;
    ByteVector bBytes;
    const bool aWritten = a.write(aBytes, today);
    return aWritten == b.write(bBytes, today) && aBytes == bBytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < fuzz::kSettingsPrefix) return 0;
    const ByteSpan input(data + fuzz::kSettingsPrefix, size - fuzz::kSettingsPrefix);
    const ConversionOutcome converted = convertBytes(FileMode::Mfi, input, fuzz::settingsFrom(data), fuzz::kToday);
    if (converted.result == Result::Converted) {
        if (!isSuccess(convertBytes(FileMode::Mfi, converted.bytes, fuzz::settingsFrom(data), fuzz::kToday).result))
            std::abort();
        if (inspect(FileMode::Mfi, input).ok() && !inspect(FileMode::Mfi, converted.bytes).ok()) std::abort();
    }
    MfiController controller;
    fuzz::applySettings(controller, data);
    // The pass alone, with the buffer the step gives it and a fixed date; the
    // converted bytes must read back.
    mfi::VolumeFile source;
    if (!ok(source.parse(input))) return 0;
    const int version = mfiVersionOfVers(source.infoRecord().versText());
    if (version == 0) return 0;
    const mfi::Date today{2024, 2, 29};
    const std::size_t capacity = 2 * input.size() + 200;
    mfi::VolumeFile model = source;
    ConvertedFile passed;
    if (ok(runConversionPass(std::move(model), version, capacity, passed, controller.settings(), &today))) {
        if (passed.bytes.empty() || passed.bytes.size() > capacity) std::abort();
        mfi::File converted;
        if (!ok(converted.read(passed.bytes))) std::abort();
    }
    // The effect regulation plans its send copies in one go; placing them one
    // by one (which searches the whole model again after every copy, so only
    // on small models) must give the same file.
    if (eventsIn(source) <= kOneByOneLimit && source.nextAdpcmNote(0) < 0) {
        const VolumeSettings settings = channelRuleSettings(data);
        mfi::VolumeFile perTrack = source;
        mfi::VolumeFile perChannel = source;
        perTrack.watchInserts();
        perChannel.watchInserts();
        applyChannelVolumeRule(perTrack, settings);
        channelRuleOneByOne(perChannel, settings);
        if (perTrack.insertsKeptShape() != perChannel.insertsKeptShape() || !sameFile(perTrack, perChannel, today))
            std::abort();
    }
    if (eventsIn(source) <= kOneByOneLimit) {
        mfi::VolumeFile oneByOne = source;
        const double db = (data[0] & 1) ? 3.0 : -4.5;
        regulateEffects(source, db, SendCopyPlanning::Batched);
        regulateEffects(oneByOne, db, SendCopyPlanning::OneByOne);
        if (!sameFile(source, oneByOne, today)) std::abort();
    }
    return 0;
}
