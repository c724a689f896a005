#pragma once
// Shared by the batch tests: built TAVI and MFi files, byte file helpers and
// a runner that starts keldro-batch (or keldro beside a KELDRO.ini) as a real
// process in a temporary directory.

#include <filesystem>
#include <string>
#include <vector>

#include "mfivolume/VolumeTestSupport.h"
#include "platform/TempDir.h"
#include "support/LogText.h"
#include "support/ProcessRun.h"
#include "support/TaviFileBuilder.h"

namespace keldro::batchtest {

using keldro::testing::readText;
using keldro::testing::TempDir;
using keldro::testing::withoutTimeStamp;
using keldro::testing::writeText;

inline void writeBytes(const std::string& path, const ByteVector& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    writeText(path, std::string(bytes.begin(), bytes.end()));
}

inline ByteVector readBytes(const std::string& path) {
    const std::string text = readText(path);
    return ByteVector(text.begin(), text.end());
}

// ---- Built files of every kind, each with a known loudest volume. ----

inline ByteVector vq2File(std::uint8_t volume) {
    return tavitest::taviFile({tavitest::cnti(), tavitest::vq2Track(volume)});
}
inline ByteVector vq3File(std::uint8_t master) {
    return tavitest::taviFile({tavitest::cnti(), tavitest::vq35Track(5, master)});
}
inline ByteVector vq5File(std::uint8_t master) {
    return tavitest::taviFile({tavitest::cnti(), tavitest::vq35Track(6, master)});
}
inline ByteVector vq7File(std::uint8_t master, std::uint8_t maxGain) {
    return tavitest::taviFile({tavitest::cnti(), tavitest::vq7Track(master, maxGain)});
}
// MFi 3.0 and later: MaxGain and master volume in track 0.
inline ByteVector mfiFileWith(std::string_view vers, std::uint8_t maxGain, std::uint8_t master) {
    return test::mfiFile(vers,
                         {test::MfiTrackBuilder().maxGain(0, maxGain).masterVolume(0, master).note(0, 0).note(4, 0)});
}
// MFi 2.0: channel 0 at `volume`, channel 1 plays without a volume event.
inline ByteVector mfi20File(int volume) {
    return test::mfiFile(
        "0200",
        {test::MfiTrackBuilder().masterVolume(0, 100).channelVolume(0, 0, volume).note(0, 0).note(2, 1).note(4, 0)});
}

// ---- Processes. ----

using Outcome = testing::ProcessOutcome;
using testing::runProcess;

inline Outcome runBatch(const std::vector<std::string>& args, const std::string& cwd) {
    return runProcess(KELDRO_BATCH_EXE, args, cwd);
}

// keldro installed in its own folder of `dir`, beside a KELDRO.ini that is
// written afresh before every run (keldro writes its values back).
class Keldro {
public:
    explicit Keldro(const TempDir& dir) : dir_(dir), exe_(dir.file("keldro-bin/keldro")) {
        std::filesystem::create_directories(dir.file("keldro-bin"));
        std::filesystem::copy_file(KELDRO_EXE, exe_, std::filesystem::copy_options::overwrite_existing);
    }
    Outcome run(int targetFile, const std::vector<std::string>& args) const {
        writeText(dir_.file("keldro-bin/KELDRO.ini"), "[SETTING]\nTARGET_FILE=" + std::to_string(targetFile) + "\n");
        return runProcess(exe_, args, dir_.path());
    }

private:
    const TempDir& dir_;
    std::string exe_;
};

// The lines of a text that start with `prefix`.
inline std::vector<std::string> linesStartingWith(const std::string& text, const std::string& prefix) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        if (line.rfind(prefix, 0) == 0) lines.push_back(line);
        at = end + 1;
    }
    return lines;
}

}  // namespace keldro::batchtest
