#pragma once
// Helpers shared by the MFi volume engine tests: the rules, the pass and the
// reports on bytes and input models, and small builders of whole files.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <span>
#include <string>
#include <string_view>

#include "mfivolume/ChangeReport.h"
#include "mfivolume/ConversionPass.h"
#include "mfivolume/Rules.h"
#include "mfivolume/VolumeFile.h"
#include "volume/FileKinds.h"
#include "volume/VolumeSettings.h"
#include "support/EffectBlock.h"
#include "support/MfiBuilder.h"

namespace keldro::test {

// An absolute value for a channel entry (track * 4 + channel, 16 ADPCM), as "-c1" ... "-ca" give it.
inline void giveChannel(VolumeSettings& settings, int entry, int value) {
    settings.channelVolume[static_cast<std::size_t>(entry)] = value;
    settings.channelGiven[static_cast<std::size_t>(entry)] = 1;
}

// A rule on bytes: the file read, the rule applied to its model, the model
// written to `output`; false when the input cannot be read or the model not written.
inline bool ruleOnBytes(void (*rule)(mfi::VolumeFile&, const VolumeSettings&), ByteSpan input, ByteVector& output,
                        const VolumeSettings& settings, const mfi::Date& today) {
    mfi::VolumeFile model;
    if (!ok(model.parse(input))) return false;
    rule(model, settings);
    return model.write(output, today);
}
inline bool applyMaxGainRule(ByteSpan input, ByteVector& output, const VolumeSettings& settings,
                             const mfi::Date& today) {
    return ruleOnBytes(mfi::applyMaxGainRule, input, output, settings, today);
}
inline bool applyChannelVolumeRule(ByteSpan input, ByteVector& output, const VolumeSettings& settings,
                                   const mfi::Date& today) {
    return ruleOnBytes(mfi::applyChannelVolumeRule, input, output, settings, today);
}

// The pass on bytes: the input read and its model converted, the converted
// file copied to the start of `output` and its size put in `length`; nothing
// is written to `output` unless the pass succeeds. An empty input or output
// is Result::MfiNoBuffer, an unreadable input Result::MfiStepFailed.
inline Result passOnBytes(ByteSpan input, int version, std::span<std::uint8_t> output, std::size_t& length,
                          const VolumeSettings& settings, const mfi::Date* today) {
    length = 0;
    if (input.empty() || output.empty()) return Result::MfiNoBuffer;
    mfi::VolumeFile model;
    if (!ok(model.parse(input))) return Result::MfiStepFailed;
    mfi::ConvertedFile converted;
    const Result pass = mfi::runConversionPass(std::move(model), version, output.size(), converted, settings, today);
    if (!ok(pass)) return pass;
    std::copy(converted.bytes.begin(), converted.bytes.end(), output.begin());
    length = converted.bytes.size();
    return pass;
}

// The change reports reading the input model itself.
inline Result reportMaxGainChanges(mfi::VolumeFile& input, mfi::VolumeFile& converted, const VolumeSettings& settings,
                                   VolumeChangeList& changes) {
    return mfi::reportMaxGainChanges(mfi::InputVolumes(input, mfi::InputVolumes::kMasterVolumes), converted, settings,
                                     changes);
}
inline Result reportChannelVolumeChanges(int version, mfi::VolumeFile& input, mfi::VolumeFile& converted,
                                         const VolumeSettings& settings, VolumeChangeList& changes) {
    return mfi::reportChannelVolumeChanges(version, mfi::InputVolumes(input, mfi::InputVolumes::kVolumes), converted,
                                           settings, changes);
}
inline void reportEffectChanges(int version, mfi::VolumeFile& input, mfi::VolumeFile& converted,
                                const VolumeSettings& settings, VolumeChangeList& changes) {
    mfi::reportEffectChanges(version, mfi::InputVolumes(input, mfi::InputVolumes::kEffects), converted, settings,
                             changes);
}

// A file of the given version with the given tracks.
inline ByteVector mfiFile(std::string_view vers, std::initializer_list<MfiTrackBuilder> tracks) {
    MfiBuilder builder;
    builder.canonicalInfo(vers);
    for (const MfiTrackBuilder& track : tracks) builder.trac(track);
    return builder.build();
}

// Track 0 must hold a master volume event; most tests start with one.
inline MfiTrackBuilder setup(std::uint8_t delta = 0) { return MfiTrackBuilder().masterVolume(delta, 100); }

inline mfi::VolumeFile parsed(const ByteVector& bytes) {
    mfi::VolumeFile file;
    EXPECT_EQ(file.parse(bytes), Result::Converted);
    return file;
}

inline ByteVector joined(std::initializer_list<ByteVector> parts) {
    ByteVector out;
    for (const ByteVector& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// Sounding events besides notes: block kinds 40 and 46, and the 0x7F 0x00 event.
inline MfiTrackBuilder& kind40(MfiTrackBuilder& t, std::uint8_t delta, int channel) {
    return t.block(delta, {0x11, 0x02, 0xF1, static_cast<std::uint8_t>((channel << 6) | 0x03), 0x00, 0x40});
}
inline MfiTrackBuilder& kind46(MfiTrackBuilder& t, std::uint8_t delta, int channel) {
    return t.block(delta, {0x11, 0x02, 0xF1, static_cast<std::uint8_t>((channel << 6) | 0x0C), 0x40});
}
inline MfiTrackBuilder& kind52(MfiTrackBuilder& t, std::uint8_t delta, int channel) {
    return t.escape(delta, 0x00, static_cast<std::uint8_t>(channel << 6), 0x10);
}

// The room the MFi file step gives a converted file: twice the input and 200 bytes.
inline std::size_t mfiFileStepRoom(std::size_t inputSize) { return 2 * inputSize + 200; }

// An MFi 4.0 file that more than doubles under chorus regulation: after every
// selection of the regulated type each of the four channels gets a copy of
// the send in force (ten bytes) before its next note (four). `padding`
// bytes that pass unchanged (no-op events and a longer "thrd" text) tune its
// size.
inline ByteVector growingMfiFile(int selections, std::size_t padding) {
    MfiTrackBuilder track =
        MfiTrackBuilder().maxGain(0, 10).masterVolume(0, 100).effectSettings(0, effectBlock(0x4900, 100));
    for (std::size_t i = 0; i < padding / 4; ++i) track.nop(0);
    for (int channel = 0; channel < 4; ++channel) track.effectSend(0, channel, false, 80);
    for (int round = 0; round < selections; ++round) {
        track.effectSelect(1, 64);
        for (int channel = 0; channel < 4; ++channel) track.note(channel == 0 ? 1 : 0, channel);
    }
    track.nop(1);  // the last note is not the track's last event: it gets its copies too
    MfiBuilder builder;
    builder.canonicalInfo("0400").info("thrd", std::string(1 + padding % 4, '.'));
    return builder.trac(track).build();
}

// A growing file that `settings` (relative, with chorus regulation) convert
// to exactly mfiFileStepRoom of its size; empty if none is found.
inline ByteVector mfiFileFillingTheFileStepRoom(const VolumeSettings& settings) {
    const mfi::Date today{2026, 1, 1};  // every date takes the same eight bytes
    for (int selections = 1; selections < 100; ++selections) {
        const ByteVector in = growingMfiFile(selections, 0);
        mfi::VolumeFile model;
        mfi::ConvertedFile converted;
        if (!ok(model.parse(in)) ||
            !ok(mfi::runConversionPass(std::move(model), kMfiVersion40, 4 * in.size(), converted, settings, &today)))
            return {};
        const std::size_t room = mfiFileStepRoom(in.size());
        if (converted.bytes.size() >= room) return growingMfiFile(selections, converted.bytes.size() - room);
    }
    return {};
}

}  // namespace keldro::test
