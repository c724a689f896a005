#include "app/CommandLine.h"

#include <cstdio>
#include <string_view>

#include "app/ConverterApp.h"
#include "volume/Result.h"
#include "conversion/Controllers.h"
#include "conversion/VolumeOptions.h"
#include "platform/Text.h"
#include "platform/Version.h"

namespace keldro {
namespace {

void printToStderr(const std::string& text) {
    // A failure while printing is swallowed.
    if (!text.empty()) std::fwrite(text.data(), 1, text.size(), stderr);
}

std::string entry(int number) { return std::string(messageText(number)); }

// Acts on an option that takes a value; true when the option is taken.
bool applyOption(VolumeController& c, VolumeOptionSetter& volume, std::string_view option, const std::string& value) {
    if (equalsIgnoreCase(option, "-i")) {
        c.setInputFileName(value);
    } else if (equalsIgnoreCase(option, "-o")) {
        c.setOutputFileName(value);
    } else if (equalsIgnoreCase(option, "-l")) {
        c.setLogFileName(value);
    } else {
        return option.size() > 1 && option[0] == '-' && volume.apply(option.substr(1), value);
    }
    return true;
}

}  // namespace

std::string versionLine(const std::string& executableName) {
    std::string line = executableName + " ";
    line += formatText("Ver.%d.%d.%d ", kFileVersion.major, kFileVersion.minor, kFileVersion.build);
    line += formatText("(%s %s)\n", kBuildDate, kBuildTime);
    return line;
}

std::string helpText(bool mfiMode, const std::string& executableName) {
    using namespace msg;
    std::string text;
    if (!mfiMode) {
        text += entry(kTaviHelpTitle) + "\n";
        text += executableName + " ";
        text += entry(kTaviHelpUsage) + "\n";
        for (int e : {kHelpFileOptions, kTaviHelpLevelOptions, kTaviHelpChannels1To4, kTaviHelpChannels5To8,
                      kTaviHelpChannels9To12, kTaviHelpChannels13To16, kTaviHelpAdpcmAndSwitches})
            text += entry(e);
    } else {
        text += entry(kMfiHelpTitle) + "\n";
        text += executableName + " ";
        text += entry(kMfiHelpUsage) + "\n";
        for (int e :
             {kHelpFileOptions, kMfiHelpDbOption, kMfiHelpMaxGainOption, kMfiHelpChannels1To4, kMfiHelpChannels5To8,
              kMfiHelpChannels9To12, kMfiHelpChannels13To16, kMfiHelpAdpcmOption, kMfiHelpSwitches})
            text += entry(e);
    }
    return text;
}

void processCommandLine(ConverterApp& app, VolumeController& c, int argc, char** argv) {
    bool help = false, version = false, convert = false;
    VolumeOptionSetter volume(c);
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i] ? argv[i] : "";
        if (equalsIgnoreCase(a, "-h")) {
            help = true;
        } else if (equalsIgnoreCase(a, "-v")) {
            version = true;
        } else if (equalsIgnoreCase(a, "-e")) {
            app.setRegulateChorus(true);
        } else {
            ++i;
            if (i < argc) {
                const std::string v = argv[i] ? argv[i] : "";
                if (applyOption(c, volume, a, v)) convert = true;
            }
        }
    }
    volume.finish();
    if (version) printToStderr(versionLine(app.executableName()));
    if (help) printToStderr(helpText(c.mode() == FileMode::Mfi, app.executableName()));
    if (convert) {
        c.setRegulateChorus(app.regulateChorus());
        app.setResult(c.consoleRun());
        const std::string& text = c.resultText();
        if (!text.empty()) printToStderr(text + "\n");
    }
}

}  // namespace keldro
