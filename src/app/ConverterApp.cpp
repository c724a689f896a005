#include "app/ConverterApp.h"

#include <cstdio>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "conversion/VolumeOptions.h"
#include "volume/Result.h"
#include "platform/Executable.h"
#include "platform/Ini.h"
#include "platform/Text.h"

namespace keldro {
namespace {

// The settings file, beside the executable.
constexpr const char* kSettingsFileName = "KELDRO.ini";
constexpr const char* kSection = "SETTING";
constexpr const char* kTargetFileKey = "TARGET_FILE";
constexpr const char* kDbKey = "DB_VALUE";
constexpr const char* kMasterVolumeKey = "MV_VALUE";
constexpr const char* kMaxGainKey = "MG_VALUE";
constexpr const char* kAdpcmKey = "CV_VALUE_ADPCM";
std::string channelKey(int channel) { return "CV_VALUE" + std::to_string(channel); }

// Every key start-up reads, looked up together in one walk over the file.
std::vector<std::string> keysReadAtStart() {
    std::vector<std::string> keys = {kTargetFileKey, kDbKey, kMasterVolumeKey, kMaxGainKey};
    for (int ch = 1; ch <= 16; ++ch) keys.push_back(channelKey(ch));
    keys.push_back(kAdpcmKey);
    return keys;
}

// A stored whole number reads as a volume option on the command line does:
// saturating, so 4294967296 is loud rather than wrapped to silence (the
// setter clamps it), and is no mode rather than TAVI.
int storedNumber(const IniFile& settings, const std::string& key, int defaultValue) {
    return atoiSaturating(settings.readString(kSection, key, std::to_string(defaultValue)));
}

}  // namespace

ConverterApp::ConverterApp() = default;
ConverterApp::~ConverterApp() = default;

void ConverterApp::startUp(int argc, char** argv) {
    // The running executable; without it, stop silently.
    auto exe = executablePath();
    if (!exe) return;
    executableName_ = baseNameWithoutExtension(*exe);

    settingsPath_ = directoryOf(*exe) + kSettingsFileName;

    // The mode. The settings file is read once for the whole run.
    IniFile settings(settingsPath_);
    settings.readAhead(kSection, keysReadAtStart());
    const int target = storedNumber(settings, kTargetFileKey, 255);
    if (target != 0 && target != 1) {
        std::fprintf(stderr, "%s\n", std::string(messageText(msg::kInitialFileParameterError)).c_str());
        // Nothing was converted, and a script must not take that for success.
        settingsUnusable_ = true;
        return;
    }
    targetFile_ = target;

    // The mode's controller with the stored settings.
    regulateChorus_ = false;
    std::unique_ptr<VolumeController> controller = makeController(targetFile_);
    controller->setSettingsFileName(settingsPath_);
    loadSettings(settings, *controller);

    // The command line, which may convert.
    processCommandLine(*this, *controller, argc, argv);

    // The values used become the next run's defaults.
    saveSettings(settings, *controller);
}

void ConverterApp::loadSettings(const IniFile& settings, VolumeController& c) const {
    c.setDb(settings.readString(kSection, kDbKey, kDefaultDbText));
    c.setMasterVolume(storedNumber(settings, kMasterVolumeKey, kDefaultMasterVolume));
    c.setMaxGain(settings.readString(kSection, kMaxGainKey, kDefaultMaxGainText));
    for (int ch = 1; ch <= 16; ++ch)
        c.setChannel(ch - 1, storedNumber(settings, channelKey(ch), kDefaultChannelVolume));
    c.setChannel(kAdpcmEntry, storedNumber(settings, kAdpcmKey, kDefaultChannelVolume));
}

void ConverterApp::saveSettings(IniFile& settings, const VolumeController& c) const {
    settings.writeString(kSection, kDbKey, c.dbText());
    settings.writeInt(kSection, kMasterVolumeKey, c.masterVolumeValue());
    settings.writeString(kSection, kMaxGainKey, c.maxGainText());
    // Failures (a read-only or unwritable settings file) are ignored.
    settings.save();
}

int ConverterApp::exit() {
    const int exitStatus = settingsUnusable_ ? kExitStatusOutsideTable : resultExitStatus(result_);
    std::printf("%d\n", exitStatus);
    std::fflush(stdout);
    return exitStatus;
}

int runConverterApp(int argc, char** argv) {
    ConverterApp app;
    app.startUp(argc, argv);
    return app.exit();
}

}  // namespace keldro
