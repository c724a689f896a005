#include "tavi/Rules.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "volume/VolumeRules.h"
#include "volume/VolumeTables.h"

namespace keldro::tavi {
namespace {

constexpr int kAudioKind = 255;
constexpr int kMaxAttenuation = 192;

int trunc(double v) { return static_cast<int>(v); }

std::uint8_t toByte(int v) { return static_cast<std::uint8_t>(v); }

bool answer(VolumeChangeRecord& r, int relativeAction, const VolumeSettings& s) {
    r.action = toByte(s.isAbsolute() ? relativeAction + 1 : relativeAction);
    return true;
}

// VQ-2 channel volume and audio-track volume.
bool channelVolumeRule(const VolumeSettings& s, VolumeChangeRecord& r) {
    if (s.isAbsolute()) {
        int entry = r.track == kAudioKind ? kAdpcmEntry : r.channel + 4 * (r.track - 1);
        if (entry < 0 || entry >= kChannelEntries || s.channelGiven[static_cast<std::size_t>(entry)] == 0) {
            r.afterVolume = r.beforeVolume;
            return false;
        }
        r.afterVolume = toByte(s.channelVolume[static_cast<std::size_t>(entry)]);
        return answer(r, kActionVolumeRelative, s);
    }
    r.afterVolume = toByte(relativeChannelVolume(r.beforeVolume, s.db()));
    return answer(r, kActionVolumeRelative, s);
}

// VQ-3 / VQ-5 master volume: through the attenuation tables.
bool masterVolumeRule(const VolumeSettings& s, VolumeChangeRecord& r) {
    if (s.isAbsolute()) {
        r.afterVolume = toByte(s.masterVolume);
    } else if (r.beforeVolume <= 127) {
        int c = attenuationOfVolume(r.beforeVolume) - trunc(2 * s.db());
        r.afterVolume = toByte(volumeOfAttenuation(c));
    } else {
        r.afterVolume = r.beforeVolume;
    }
    return answer(r, kActionVolumeRelative, s);
}

// VQ-7 master volume: takes whatever part of the change the MaxGain rule could
// not, so that master attenuation plus MaxGain moves by exactly the change.
bool vq7MasterVolumeRule(const VolumeSettings& s, const Vq7FileLevels& file, VolumeChangeRecord& r) {
    if (s.isAbsolute() || r.beforeVolume > 127) {
        r.afterVolume = r.beforeVolume;
        return answer(r, kActionVolumeRelative, s);
    }
    int g = file.maxGainInForce;
    int v = trunc(((attenuationOfVolume(r.beforeVolume) + g) * -0.5 + s.db()) * 2);
    // The MaxGain chosen for this file; before one is chosen, the run's setting.
    int u = file.chosenMaxGain >= 0 ? file.chosenMaxGain : s.maxGainSteps();
    r.afterVolume = toByte(volumeOfAttenuation(-u - v));
    return answer(r, kActionVolumeRelative, s);
}

double tableOverFull(int index) { return volumeOfAttenuation(std::min(index, kMaxAttenuation - 1)) * (1.0 / 127); }
double fullOverTable(int index) { return 127.0 / volumeOfAttenuation(std::min(index, kMaxAttenuation - 1)); }

// Factor by which an effect depth follows the volume change; the chorus send
// uses the inverse ratio (moves the opposite way).
double levelFactor(const VolumeSettings& s, const Vq7FileLevels& file, bool chorusSend) {
    bool quieter;
    int steps;
    if (s.isAbsolute()) {
        int n = file.largestMaxGain;
        int m = s.maxGainSteps();
        quieter = n < m;
        steps = quieter ? m - n : n - m;
    } else {
        quieter = s.dbTenths < 0;
        steps = std::abs(s.dbTenths) / 5;
    }
    return quieter != chorusSend ? tableOverFull(steps) : fullOverTable(steps);
}

bool levelRule(const VolumeSettings& s, const Vq7FileLevels& file, VolumeChangeRecord& r, bool chorusSend,
               int relativeAction) {
    if (r.track != 7) {
        r.afterLevel = r.beforeLevel;
        return false;
    }
    r.afterLevel = toByte(scaleEffectLevel(r.beforeLevel, levelFactor(s, file, chorusSend)));
    return answer(r, relativeAction, s);
}

}  // namespace

bool volumeRule(const VolumeSettings& settings, const Vq7FileLevels& file, VolumeChangeRecord& record) {
    record.action = kActionNone;
    switch (record.track) {
        case 1:
        case 2:
        case 3:
        case 4:
        case kAudioKind: return channelVolumeRule(settings, record);
        case 5:
        case 6: return masterVolumeRule(settings, record);
        case 7: return vq7MasterVolumeRule(settings, file, record);
        default: record.afterVolume = record.beforeVolume; return false;
    }
}

bool insertedVolumeRule(const VolumeSettings& settings, const Vq7FileLevels& file, VolumeChangeRecord& record) {
    record.beforeVolume = kAssumedChannelVolume;
    const bool yes = volumeRule(settings, file, record);
    if (yes) record.action = toByte(record.action + kActionInsertedVolumeRelative - kActionVolumeRelative);
    return yes;
}

bool maxGainRule(const VolumeSettings& settings, Vq7FileLevels& file, VolumeChangeRecord& record) {
    record.action = kActionNone;
    if (record.track != 7) {
        record.afterGain = record.beforeGain;
        return false;
    }
    if (settings.isAbsolute()) {
        record.afterGain = toByte(settings.maxGainSteps());
        return answer(record, kActionMaxGainRelative, settings);
    }
    int loudest = file.loudestMasterVolume;
    if (loudest < 0 || loudest > 127) {
        record.afterGain = record.beforeGain;
        return answer(record, kActionMaxGainRelative, settings);
    }
    // The loudest master volume plus the old MaxGain, shifted by the change,
    // becomes the new MaxGain as far as -12..0 dB allows.
    int a = std::clamp(attenuationOfVolume(loudest) + record.beforeGain, 0, kMaxAttenuation);
    int att = attenuationOfVolume(volumeOfAttenuation(a));
    int t = trunc((att * -0.5 + settings.db()) * 10);
    file.chosenMaxGain = attenuationStepsOfTenths(quantizeMaxGainTenths(t));
    record.afterGain = toByte(file.chosenMaxGain);
    return answer(record, kActionMaxGainRelative, settings);
}

bool effectDepthRule(const VolumeSettings& settings, const Vq7FileLevels& file, VolumeChangeRecord& record) {
    record.action = kActionNone;
    return levelRule(settings, file, record, false, kActionEffectDepthRelative);
}

bool chorusSendRule(const VolumeSettings& settings, const Vq7FileLevels& file, VolumeChangeRecord& record) {
    record.action = kActionNone;
    return levelRule(settings, file, record, true, kActionChorusSendRelative);
}

bool chorusSendBeforeNoteRule(const VolumeSettings& settings, const Vq7FileLevels& file, VolumeChangeRecord& record,
                              int effectType) {
    record.action = kActionNone;
    if (!isChorusLikeEffect(effectType)) {
        // Not a chorus effect: the value first found in the file is put back.
        record.afterLevel = record.beforeLevel;
        return answer(record, kActionChorusBeforeNoteRelative, settings);
    }
    return levelRule(settings, file, record, true, kActionChorusBeforeNoteRelative);
}

}  // namespace keldro::tavi
