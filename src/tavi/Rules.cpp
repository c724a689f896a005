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

bool isAbsolute(const VolumeSettings& s) { return s.absoluteMode != 0; }

// The relative change in dB (tenths held as an integer in the settings).
double relativeDb(const VolumeSettings& s) { return s.dbTenths * 0.1; }

int trunc(double v) { return static_cast<int>(v); }

std::uint8_t toByte(int v) { return static_cast<std::uint8_t>(v); }

bool answer(VolumeChangeRecord& r, int relativeAction, const VolumeSettings& s) {
    r.action = isAbsolute(s) ? relativeAction + 1 : relativeAction;
    return true;
}

// VQ-2 channel volume and audio-track volume.
bool channelVolumeRule(const VolumeSettings& s, VolumeChangeRecord& r) {
    if (isAbsolute(s)) {
        int entry = r.track == kAudioKind ? kAdpcmEntry : r.channel + 4 * (r.track - 1);
        if (entry < 0 || entry >= kChannelEntries || s.channelGiven[static_cast<std::size_t>(entry)] == 0) {
            r.afterVolume = r.beforeVolume;
            return false;
        }
        r.afterVolume = toByte(s.channelVolume[static_cast<std::size_t>(entry)]);
        return answer(r, kActionVolumeRelative, s);
    }
    r.afterVolume = toByte(relativeChannelVolume(r.beforeVolume, relativeDb(s)));
    return answer(r, kActionVolumeRelative, s);
}

// VQ-3 / VQ-5 master volume: through the attenuation tables.
bool masterVolumeRule(const VolumeSettings& s, VolumeChangeRecord& r) {
    if (isAbsolute(s)) {
        r.afterVolume = toByte(s.masterVolume);
    } else if (r.beforeVolume <= 127) {
        int c = attenuationOfVolume(r.beforeVolume) - trunc(2 * relativeDb(s));
        r.afterVolume = toByte(volumeOfAttenuation(c));
    } else {
        r.afterVolume = r.beforeVolume;
    }
    return answer(r, kActionVolumeRelative, s);
}

// VQ-7 master volume: takes whatever part of the change the MaxGain rule could
// not, so that master attenuation plus MaxGain moves by exactly the change.
bool vq7MasterVolumeRule(const VolumeSettings& s, VolumeChangeRecord& r) {
    if (isAbsolute(s) || r.beforeVolume > 127) {
        r.afterVolume = r.beforeVolume;
        return answer(r, kActionVolumeRelative, s);
    }
    int g = r.vq7.maxGainInForce;
    int v = trunc(((attenuationOfVolume(r.beforeVolume) + g) * -0.5 + relativeDb(s)) * 2);
    // The MaxGain chosen for this file; before one is chosen, the run's setting.
    int u = r.vq7.chosenMaxGain >= 0 ? r.vq7.chosenMaxGain : attenuationStepsOfTenths(s.maxGainTenths);
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
    if (isAbsolute(s)) {
        int n = file.largestMaxGain;
        int m = attenuationStepsOfTenths(s.maxGainTenths);
        quieter = n < m;
        steps = quieter ? m - n : n - m;
    } else {
        quieter = s.dbTenths < 0;
        steps = std::abs(s.dbTenths) / 5;
    }
    return quieter != chorusSend ? tableOverFull(steps) : fullOverTable(steps);
}

bool levelRule(const VolumeSettings& s, VolumeChangeRecord& r, bool chorusSend, int relativeAction) {
    if (r.track != 7) {
        r.afterLevel = r.beforeLevel;
        return false;
    }
    r.afterLevel = toByte(scaleEffectLevel(r.beforeLevel, levelFactor(s, r.vq7, chorusSend)));
    return answer(r, relativeAction, s);
}

}  // namespace

bool volumeRule(const VolumeSettings& settings, int /*generation*/, VolumeChangeRecord& record) {
    record.action = kActionNone;
    switch (record.track) {
        case 1:
        case 2:
        case 3:
        case 4:
        case kAudioKind: return channelVolumeRule(settings, record);
        case 5:
        case 6: return masterVolumeRule(settings, record);
        case 7: return vq7MasterVolumeRule(settings, record);
        default: record.afterVolume = record.beforeVolume; return false;
    }
}

bool insertedVolumeRule(const VolumeSettings& settings, int generation, VolumeChangeRecord& record) {
    record.beforeVolume = kAssumedChannelVolume;
    const bool yes = volumeRule(settings, generation, record);
    if (yes) record.action += kActionInsertedVolumeRelative - kActionVolumeRelative;
    return yes;
}

bool maxGainRule(const VolumeSettings& settings, int /*generation*/, VolumeChangeRecord& record) {
    record.action = kActionNone;
    if (record.track != 7) {
        record.afterGain = record.beforeGain;
        return false;
    }
    if (isAbsolute(settings)) {
        record.afterGain = toByte(attenuationStepsOfTenths(settings.maxGainTenths));
        return answer(record, kActionMaxGainRelative, settings);
    }
    int loudest = record.vq7.loudestMasterVolume;
    if (loudest < 0 || loudest > 127) {
        record.afterGain = record.beforeGain;
        return answer(record, kActionMaxGainRelative, settings);
    }
    // The loudest master volume plus the old MaxGain, shifted by the change,
    // becomes the new MaxGain as far as -12..0 dB allows.
    int a = std::clamp(attenuationOfVolume(loudest) + record.beforeGain, 0, kMaxAttenuation);
    int att = attenuationOfVolume(volumeOfAttenuation(a));
    int t = trunc((att * -0.5 + relativeDb(settings)) * 10);
    record.vq7.chosenMaxGain = attenuationStepsOfTenths(quantizeMaxGainTenths(t));
    record.afterGain = toByte(record.vq7.chosenMaxGain);
    return answer(record, kActionMaxGainRelative, settings);
}

bool effectDepthRule(const VolumeSettings& settings, int /*generation*/, VolumeChangeRecord& record) {
    record.action = kActionNone;
    return levelRule(settings, record, false, kActionEffectDepthRelative);
}

bool chorusSendRule(const VolumeSettings& settings, int /*generation*/, VolumeChangeRecord& record) {
    record.action = kActionNone;
    return levelRule(settings, record, true, kActionChorusSendRelative);
}

bool chorusSendBeforeNoteRule(const VolumeSettings& settings, int /*generation*/, VolumeChangeRecord& record,
                              int effectType) {
    record.action = kActionNone;
    if (!isChorusLikeEffect(effectType)) {
        // Not a chorus effect: the value first found in the file is put back.
        record.afterLevel = record.beforeLevel;
        return answer(record, kActionChorusBeforeNoteRelative, settings);
    }
    return levelRule(settings, record, true, kActionChorusBeforeNoteRelative);
}

}  // namespace keldro::tavi
