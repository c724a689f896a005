#include "conversion/Controllers.h"

#include <algorithm>

#include "conversion/MfiFileStep.h"
#include "conversion/TaviFileStep.h"
#include "platform/Text.h"
#include "tavi/Rules.h"
#include "volume/VolumeTables.h"

namespace keldro {
namespace {

// x * 10 truncated toward zero, for the dB and MaxGain texts.
int tenthsOf(const std::string& text) { return truncateToInt(strtodLike(text) * 10.0); }

// quantizeMaxGainTenths on any int: values far outside -120 ... 0 give its end values
// without overflowing its arithmetic.
int quantizeMaxGain(int tenths) { return quantizeMaxGainTenths(std::clamp(tenths, -100000, 100000)); }

bool validEntry(int entry) { return entry >= 0 && entry < kChannelEntries; }

}  // namespace

VolumeController::VolumeController(int channelMax, std::unique_ptr<FileEngineStep> step)
    : channelMax_(channelMax), job_(std::move(step)) {}

void VolumeController::setDb(const std::string& text) { settings_.dbTenths = std::clamp(tenthsOf(text), -600, 600); }

void VolumeController::setMasterVolume(int value) { settings_.masterVolume = std::clamp(value, 0, 127); }

void VolumeController::setMaxGain(const std::string& text) {
    settings_.maxGainTenths = quantizeMaxGain(tenthsOf(text));
}

void VolumeController::setChannel(int entry, int value) {
    if (validEntry(entry)) settings_.channelVolume[static_cast<std::size_t>(entry)] = std::clamp(value, 0, channelMax_);
}

void VolumeController::setChannelGiven(int entry, bool given) {
    if (validEntry(entry)) settings_.channelGiven[static_cast<std::size_t>(entry)] = given ? 1 : 0;
}

void VolumeController::setAbsoluteMode(int a) { settings_.absoluteMode = (a == 1) ? 1 : 0; }

std::string VolumeController::dbText() const { return formatText("%.1f", settings_.dbTenths * 0.1); }

int VolumeController::masterVolumeValue() const { return std::clamp(settings_.masterVolume, 0, 127); }

std::string VolumeController::maxGainText() const {
    return formatText("%.1f", quantizeMaxGain(settings_.maxGainTenths) * 0.1);
}

void VolumeController::prepareJob() {
    job_.reset();
    job_.setDbTenths(settings_.dbTenths);
    job_.setHost(this);
    job_.setRequest(this);
}

Result VolumeController::consoleRun() {
    prepareJob();
    return job_.run();
}

Result VolumeController::convertBytes(ByteSpan input, FileResult& result, ByteVector& output) {
    prepareJob();
    return job_.convertBytes(input, result, output);
}

TaviController::TaviController() : VolumeController(127, makeTaviFileStep()) {}

bool TaviController::volumeRule(int kind, VolumeChangeRecord* record) {
    return record && tavi::volumeRule(settings_, kind, *record);
}
bool TaviController::insertedVolumeRule(int kind, VolumeChangeRecord* record) {
    if (!record) return false;
    return tavi::insertedVolumeRule(settings_, kind, *record);
}
bool TaviController::maxGainRule(int kind, VolumeChangeRecord* record) {
    if (!record || !tavi::maxGainRule(settings_, kind, *record)) return false;
    // The MaxGain chosen for the file is the one the run used, and the values
    // used are saved as the next run's defaults.
    if (record->vq7.chosenMaxGain >= 0) settings_.maxGainTenths = tenthsOfAttenuationSteps(record->vq7.chosenMaxGain);
    return true;
}
bool TaviController::effectDepthRule(int kind, VolumeChangeRecord* record) {
    return record && tavi::effectDepthRule(settings_, kind, *record);
}
bool TaviController::chorusSendRule(int kind, VolumeChangeRecord* record) {
    return record && tavi::chorusSendRule(settings_, kind, *record);
}
bool TaviController::chorusSendBeforeNoteRule(int kind, VolumeChangeRecord* record, int effectType) {
    return record && tavi::chorusSendBeforeNoteRule(settings_, kind, *record, effectType);
}

MfiController::MfiController() : VolumeController(63, makeMfiFileStep()) {}

int MfiController::channelValue(int entry) {
    if (entry < 0 || entry >= kChannelEntries) return -1;
    auto e = static_cast<std::size_t>(entry);
    return settings_.channelGiven[e] == 1 ? settings_.channelVolume[e] : -1;
}

std::unique_ptr<VolumeController> makeController(int targetFile) {
    if (targetFile == 1) return std::make_unique<MfiController>();
    return std::make_unique<TaviController>();
}

}  // namespace keldro
