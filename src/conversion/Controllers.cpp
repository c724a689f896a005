#include "conversion/Controllers.h"

#include <algorithm>

#include "conversion/MfiFileStep.h"
#include "conversion/TaviFileStep.h"
#include "platform/Text.h"
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
    job_.setSettings(&settings_);
    job_.setRequest(this);
}

void VolumeController::keepChosenMaxGain() {
    if (job_.chosenMaxGain() >= 0) settings_.maxGainTenths = tenthsOfAttenuationSteps(job_.chosenMaxGain());
}

Result VolumeController::consoleRun() {
    prepareJob();
    const Result result = job_.run();
    keepChosenMaxGain();
    return result;
}

Result VolumeController::convertBytes(ByteSpan input, FileResult& result, ByteVector& output) {
    prepareJob();
    const Result outcome = job_.convertBytes(input, result, output);
    keepChosenMaxGain();
    return outcome;
}

TaviController::TaviController() : VolumeController(127, makeTaviFileStep()) {}

MfiController::MfiController() : VolumeController(63, makeMfiFileStep()) {}

std::unique_ptr<VolumeController> makeController(int targetFile) {
    if (targetFile == 1) return std::make_unique<MfiController>();
    return std::make_unique<TaviController>();
}

}  // namespace keldro
