// The settings file and the argument pass. The input is split at zero bytes:
// the first part is the text of a settings file, the others are arguments.
// The settings text goes through lookup and rewrite (a key written must read
// back as written) and its values through the controller's setters; the
// arguments go through the argument pass. File names given to -i, -o and -l
// are mapped into a private scratch directory, so a run never reaches other
// files: an example input (restored before every run that names it), a
// missing file, outputs, a log, a directory, or a name too long to use.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "app/CommandLine.h"
#include "app/ConverterApp.h"
#include "conversion/Controllers.h"
#include "platform/Clock.h"
#include "platform/Ini.h"
#include "platform/Text.h"

using namespace keldro;
namespace fs = std::filesystem;

namespace {

fs::path scratch;
std::string taviExample, mfiExample;

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeAll(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The first example of each kind beside the build tree, if there is one.
std::string firstExample(const fs::path& dir, std::string_view extension) {
    std::error_code ec;
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(dir, ec))
        if (entry.path().extension() == extension) found.push_back(entry.path());
    if (found.empty()) return {};
    std::sort(found.begin(), found.end());
    return readAll(found.front());
}

const char* const kNames[] = {"in.mmf",  "in.mld",  "missing.mmf", "out.mmf", "out.mld",
                              "OUT.MLD", "log.txt", "sub",         "in.txt"};

std::string mapFileName(const std::string& value) {
    if (value.size() >= 256) return std::string(value.size(), 'x');
    const std::size_t pick = value.empty() ? 0 : static_cast<std::uint8_t>(value[0]) % std::size(kNames);
    return (scratch / kNames[pick]).string();
}

void resetScratch() {
    writeAll(scratch / "in.mmf", taviExample);
    writeAll(scratch / "in.mld", mfiExample);
    writeAll(scratch / "in.txt", "text");
    std::error_code ec;
    for (const char* name : {"out.mmf", "out.mld", "OUT.MLD", "log.txt", "missing.mmf"}) fs::remove(scratch / name, ec);
    fs::create_directory(scratch / "sub", ec);
}

bool isFileOption(std::string_view a) {
    return equalsIgnoreCase(a, "-i") || equalsIgnoreCase(a, "-o") || equalsIgnoreCase(a, "-l");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    const fs::path examples = exe.parent_path().parent_path() / "examples";
    taviExample = firstExample(examples, ".mmf");
    mfiExample = firstExample(examples, ".mld");
    scratch = fs::temp_directory_path() / ("keldro-settings-fuzz-" + std::to_string(::getpid()));
    fs::create_directories(scratch, ec);
    resetScratch();
    std::atexit([] {
        std::error_code ignored;
        fs::remove_all(scratch, ignored);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const int targetFile = data[0] & 1;
    std::vector<std::string> parts(1);
    for (std::size_t i = 1; i < size; ++i) {
        if (data[i] == 0)
            parts.emplace_back();
        else
            parts.back().push_back(static_cast<char>(data[i]));
    }
    const std::string& ini = parts[0];

    // Lookup and rewrite of the settings text.
    const char* keys[] = {"TARGET_FILE", "DB_VALUE",   "MV_VALUE",      "MG_VALUE",
                          "CV_VALUE1",   "CV_VALUE16", "CV_VALUE_ADPCM"};
    std::string value;
    for (const char* key : keys) (void)iniLookup(ini, "SETTING", key, value);
    const std::string rewritten = iniReplace(ini, "SETTING", "DB_VALUE", "-12.5");
    if (!iniLookup(rewritten, "SETTING", "DB_VALUE", value) || value != "-12.5") std::abort();
    const std::string added = iniReplace(rewritten, "OTHER", "MV_VALUE", "7");
    if (!iniLookup(added, "other", "mv_value", value) || value != "7") std::abort();
    if (!iniLookup(added, "SETTING", "DB_VALUE", value) || value != "-12.5") std::abort();

    // The stored values through the setters, as start-up loads them.
    std::unique_ptr<VolumeController> controller = makeController(targetFile);
    auto read = [&](const char* key, const char* fallback) {
        std::string v;
        return iniLookup(ini, "SETTING", key, v) ? v : std::string(fallback);
    };
    controller->setDb(read("DB_VALUE", "0.0"));
    controller->setMasterVolume(atoiLike(read("MV_VALUE", "100")));
    controller->setMaxGain(read("MG_VALUE", "-9.0"));
    for (int e = 0; e < kChannelEntries; ++e) {
        const std::string key = e == kAdpcmEntry ? "CV_VALUE_ADPCM" : "CV_VALUE" + std::to_string(e + 1);
        controller->setChannel(e, atoiLike(read(key.c_str(), "100")));
    }
    (void)controller->dbText();
    (void)controller->maxGainText();
    (void)controller->masterVolumeValue();

    // The argument pass, file names confined to the scratch directory.
    std::vector<std::string> args;
    args.push_back("keldro");
    bool touchesFiles = false;
    for (std::size_t i = 1; i < parts.size(); ++i) {
        args.push_back(parts[i]);
        const std::string_view a = parts[i];
        if (equalsIgnoreCase(a, "-h") || equalsIgnoreCase(a, "-v") || equalsIgnoreCase(a, "-e")) continue;
        if (++i >= parts.size()) break;
        args.push_back(isFileOption(a) ? mapFileName(parts[i]) : parts[i]);
        touchesFiles = true;
    }
    if (touchesFiles) resetScratch();
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    controller->job().setClock([](LocalDateTime& out) {
        out = LocalDateTime{2024, 2, 29, 12, 0, 0};
        return true;
    });
    ConverterApp app;
    processCommandLine(app, *controller, static_cast<int>(args.size()), argv.data());
    return 0;
}
