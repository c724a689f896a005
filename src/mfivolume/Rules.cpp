// The MaxGain rule (MFi 3.0 and later) and the channel volume rule (MFi 2.0).
#include <algorithm>
#include <array>
#include <span>

#include "mfivolume/Rules.h"
#include "volume/VolumeRules.h"
#include "volume/VolumeTables.h"

namespace keldro::mfi {
namespace {

constexpr int kSilentAttenuation = 192;
constexpr int kTrackCount = 4;
constexpr int kChannelsPerTrack = 4;

int toInt(double value) { return static_cast<int>(value); }  // truncates toward zero

int loudestMasterVolume(VolumeFile& model) {
    int loudest = 0;
    for (int i = model.nextMasterVolume(0); i >= 0; i = model.nextMasterVolume(i + 1))
        loudest = std::max(loudest, model.eventAt(0, i)->masterVolume());
    return loudest;
}

// Moves a relative change into the MaxGain as far as 0 ... 24 steps allow,
// judged by the loudest master volume, and the rest into every master volume,
// so that master volume attenuation plus MaxGain falls by 2 * dB steps.
void applyRelativeMaxGain(VolumeFile& model, int gainBefore, double db) {
    const int loudest = std::clamp(attenuationOfVolume(loudestMasterVolume(model)) + gainBefore, 0, kSilentAttenuation);
    const int quantised = attenuationOfVolume(volumeOfAttenuation(loudest));
    const int gain = std::clamp(toInt((quantised * -0.5 + db) * -2), 0, VolumeFile::kMaxGainSteps);
    model.setMaxGain(gain);
    for (int i = model.nextMasterVolume(0); i >= 0; i = model.nextMasterVolume(i + 1)) {
        const int total = attenuationOfVolume(model.eventAt(0, i)->masterVolume()) + gainBefore;
        const int shifted = toInt((total * -0.5 + db) * 2);
        const int remainder = std::clamp(-gain - shifted, 0, kSilentAttenuation);
        model.setMasterVolume(i, volumeOfAttenuation(remainder));
    }
}

int channelValue(const VolumeSettings& settings, int track, int channel) {
    return settings.channelValue(track * kChannelsPerTrack + channel);
}

// Every channel of the track that plays and is to change: one whose first
// note comes before any volume of its own first gets the default volume in
// front, then each of its volumes changes. A default volume or a changed
// volume touches no other channel's events and no search's order, so the
// track's default volumes all go in first, in one insert, and one walk over
// the channel volumes changes every channel's: each channel's own walk would
// stop where this one does, after the hit at the second-last event.
void convertTrack(VolumeFile& model, int track, const VolumeSettings& settings) {
    std::array<bool, kChannelsPerTrack> changing{};
    std::array<int, kChannelsPerTrack> needingDefault{};
    std::size_t defaults = 0;
    for (int channel = 0; channel < kChannelsPerTrack; ++channel) {
        if (settings.isAbsolute() && channelValue(settings, track, channel) < 0) continue;
        const int note = model.firstNoteOf(track, 0, channel);
        if (note < 0) continue;  // the channel never plays
        changing[static_cast<std::size_t>(channel)] = true;
        const int volume = model.nextChannelVolumeOf(track, 0, channel);
        if (volume < 0 || volume > note) needingDefault[defaults++] = channel;
    }
    if (std::find(changing.begin(), changing.end(), true) == changing.end()) return;
    model.insertDefaultVolumes(track, std::span<const int>(needingDefault).first(defaults));
    VolumeFile::KindCursor volumes = model.cursor(EventKind::ChannelVolume, track);
    for (int j = volumes.next(0); j >= 0; j = volumes.next(j + 1)) {
        const Event& event = *model.eventAt(track, j);
        const int channel = event.channel();
        if (channel < 0 || channel >= kChannelsPerTrack || !changing[static_cast<std::size_t>(channel)]) continue;
        if (!settings.isAbsolute())
            model.setChannelVolume(track, j, relativeMfiChannelVolume(event.channelVolume(), settings.db()));
        else
            model.setChannelVolume(track, j, channelValue(settings, track, channel));
    }
}

void convertAdpcm(VolumeFile& model, const VolumeSettings& settings) {
    const bool relative = !settings.isAbsolute();
    const int value = settings.channelValue(kAdpcmEntry);
    const int note = model.nextAdpcmNote(0);
    if (note < 0) return;
    const int volume = model.nextAdpcmVolume(0);
    if ((volume < 0 || volume > note) && (relative || value >= 0)) model.insertDefaultVolume(0, note, 0);
    for (int j = model.nextAdpcmVolume(0); j >= 0; j = model.nextAdpcmVolume(j + 1)) {
        if (relative) {
            const int before = model.eventAt(0, j)->adpcmVolume();
            if (before >= 0) model.setAdpcmVolume(j, relativeMfiChannelVolume(before, settings.db()));
        } else {
            if (value < 0) break;
            model.setAdpcmVolume(j, value);
        }
    }
}

}  // namespace

// MFi channel volumes run 0 ... 63: the volume is doubled onto the shared
// 0 ... 127 grid and halved back.
int relativeMfiChannelVolume(int volume, double db) {
    return std::min(relativeChannelVolume(volume * 2, db) >> 1, VolumeFile::kMaxVolume);
}

void applyMaxGainRule(VolumeFile& model, const VolumeSettings& settings) {
    const int gainBefore = model.maxGainValue();
    double regulation = settings.db();
    if (!settings.isAbsolute()) {
        applyRelativeMaxGain(model, gainBefore, settings.db());
    } else {
        model.setMaxGain(settings.maxGainSteps());
        regulation = settings.maxGainSteps() * -0.5 - gainBefore * -0.5;
    }
    if (settings.regulateChorus) regulateEffects(model, regulation);
}

void applyChannelVolumeRule(VolumeFile& model, const VolumeSettings& settings) {
    for (int track = 0; track < kTrackCount; ++track) convertTrack(model, track, settings);
    convertAdpcm(model, settings);
}

}  // namespace keldro::mfi
