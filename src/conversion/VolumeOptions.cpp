#include "conversion/VolumeOptions.h"

#include "platform/Text.h"
#include "volume/VolumeSettings.h"

namespace keldro {

int channelEntryOf(std::string_view name) {
    if (equalsIgnoreCase(name, "ca")) return kAdpcmEntry;
    for (int ch = 1; ch <= 16; ++ch)
        if (equalsIgnoreCase(name, "c" + std::to_string(ch))) return ch - 1;
    return -1;
}

bool isVolumeOptionName(std::string_view name) {
    return equalsIgnoreCase(name, "db") || equalsIgnoreCase(name, "mv") || equalsIgnoreCase(name, "mg") ||
           channelEntryOf(name) >= 0;
}

void applyDefaultSettings(VolumeController& c) {
    c.setDb(kDefaultDbText);
    c.setMasterVolume(kDefaultMasterVolume);
    c.setMaxGain(kDefaultMaxGainText);
    for (int e = 0; e < kChannelEntries; ++e) c.setChannel(e, kDefaultChannelVolume);
}

// The volumes are read saturating: a number past the range of int is as far
// out of the volume range as it looks (4294967296 is loud, not 0), and the
// setters clamp it like any other.
bool VolumeOptionSetter::apply(std::string_view name, const std::string& value) {
    VolumeController& c = controller_;
    if (equalsIgnoreCase(name, "db")) {
        c.setDb(value);
        c.setAbsoluteMode(0);
        relativeGiven_ = true;
    } else if (equalsIgnoreCase(name, "mv") && c.mode() == FileMode::Tavi) {
        c.setMasterVolume(atoiSaturating(value));
        c.setAbsoluteMode(1);
    } else if (equalsIgnoreCase(name, "mg")) {
        c.setMaxGain(value);
        c.setAbsoluteMode(1);
    } else if (int e = channelEntryOf(name); e >= 0) {
        c.setChannel(e, atoiSaturating(value));
        c.setChannelGiven(e, true);
        c.setAbsoluteMode(1);
    } else {
        return false;
    }
    return true;
}

void VolumeOptionSetter::finish() {
    if (relativeGiven_) controller_.setAbsoluteMode(0);
}

void applyVolumeOptions(VolumeController& controller, const std::vector<VolumeOption>& options) {
    VolumeOptionSetter setter(controller);
    for (const VolumeOption& o : options) setter.apply(o.name, o.value);
    setter.finish();
}

std::unique_ptr<VolumeController> controllerWithOptions(FileMode mode, const std::vector<VolumeOption>& options,
                                                        bool regulateChorus) {
    std::unique_ptr<VolumeController> c = makeController(mode == FileMode::Mfi ? 1 : 0);
    applyDefaultSettings(*c);
    applyVolumeOptions(*c, options);
    c->setRegulateChorus(regulateChorus);
    return c;
}

void applyRelativeChange(VolumeController& c, int tenths) {
    c.setDb(formatText("%.1f", tenths * 0.1));
    c.setAbsoluteMode(0);
}

}  // namespace keldro
