#pragma once
// Helpers shared by the MFi volume engine tests: a host with settings like the
// MFi controller's, and small builders of whole files.
#include <gtest/gtest.h>

#include <array>
#include <string_view>

#include "volume/JobHost.h"
#include "mfivolume/VolumeFile.h"
#include "support/EffectBlock.h"
#include "support/MfiBuilder.h"

namespace keldro::test {

// Answers like the MFi controller: the hooks accept every record.
class MfiTestHost : public JobHost {
public:
    bool absolute = false;
    int db = 0;  // tenths of a dB
    int gainSteps = 0;
    bool regulate = false;
    std::array<int, 17> channels = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
    bool hookAnswer = true;

    bool isRegulateChorus() override { return regulate; }
    bool volumeRule(int, VolumeChangeRecord*) override { return hookAnswer; }
    bool channelVolumeHook(int, VolumeChangeRecord*) override { return hookAnswer; }
    bool insertedChannelVolumeHook(int, VolumeChangeRecord*) override { return hookAnswer; }
    bool maxGainRule(int, VolumeChangeRecord*) override { return hookAnswer; }
    bool effectDepthRule(int, VolumeChangeRecord*) override { return hookAnswer; }
    bool isAbsoluteMode() override { return absolute; }
    int dbTenths() override { return db; }
    int maxGainSteps() override { return gainSteps; }
    int masterVolume() override { return 100; }
    int channelValue(int entry) override {
        return entry >= 0 && entry < 17 ? channels[static_cast<std::size_t>(entry)] : -1;
    }
};

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

}  // namespace keldro::test
