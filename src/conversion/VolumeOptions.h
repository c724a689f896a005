#pragma once
// The volume options of both programs, named without their dashes: "db" (a
// relative change in dB), "mv" (master volume), "mg" (MaxGain), "c1" ... "c16"
// (channel volumes) and "ca" (the ADPCM volume). keldro reads them from its
// command line and settings file, keldro-batch from its own command line, and
// the byte-level interface from its caller; all give them one meaning here.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "conversion/Controllers.h"

namespace keldro {

struct VolumeOption {
    std::string name;   // "db", "mv", "mg", "c1" ... "c16" or "ca"
    std::string value;  // the text as given
};

// What a run starts from where its settings file has no value.
inline constexpr const char* kDefaultDbText = "0.0";
inline constexpr int kDefaultMasterVolume = 100;
inline constexpr const char* kDefaultMaxGainText = "-9.0";
inline constexpr int kDefaultChannelVolume = 100;

// Channel entry of "c1" ... "c16" (0 ... 15) or "ca" (16), letter case
// ignored; -1 for any other name.
int channelEntryOf(std::string_view name);
// "db", "mv", "mg" or a channel option, letter case ignored.
bool isVolumeOptionName(std::string_view name);

// Gives a controller the defaults above, as a settings file without keys would.
void applyDefaultSettings(VolumeController& controller);

// Applies volume options one at a time through the controller's setters.
// A relative change wins over the absolute options whatever their order, so
// the rule is settled by finish() once every option is in.
class VolumeOptionSetter {
public:
    explicit VolumeOptionSetter(VolumeController& controller) : controller_(controller) {}
    // False when the option is not taken: an unknown name, or "mv", which is a
    // TAVI-only option, in MFi mode.
    bool apply(std::string_view name, const std::string& value);
    void finish();

private:
    VolumeController& controller_;
    bool relativeGiven_ = false;
};

// All options in order, then finish().
void applyVolumeOptions(VolumeController& controller, const std::vector<VolumeOption>& options);

// A fresh controller of `mode` that starts from the defaults and takes
// `options` and the chorus regulation, as one file of a run without a
// settings file needs it. Fresh per file: the VQ-7 MaxGain rule writes the
// MaxGain it chose into its controller's settings.
std::unique_ptr<VolumeController> controllerWithOptions(FileMode mode, const std::vector<VolumeOption>& options,
                                                        bool regulateChorus);

// The relative change of `tenths` tenths of a dB, through the dB setter.
void applyRelativeChange(VolumeController& controller, int tenths);

}  // namespace keldro
