// keldro interrupted while it converts a large file, at moments spread over
// the whole run: whatever the moment, no temporary file is left beside the
// output, the output is either the old one or the complete new one, and a
// signal that ends the run shows in the exit status.
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/TempDir.h"
#include "support/ProcessRun.h"
#include "support/TaviFileBuilder.h"

namespace keldro {
namespace {

using namespace tavitest;
using testing::readText;
using testing::writeText;

std::string largeTaviFile() {
    const Bytes file = largeVq3File();
    return std::string(file.begin(), file.end());
}

TEST(Interrupt, LeavesNoTemporaryFileAndTheOutputOldOrComplete) {
    testing::TempDir dir;
    const std::string exe = dir.file("keldro");
    std::filesystem::copy_file(KELDRO_EXE, exe);
    writeText(dir.file("KELDRO.ini"), "[SETTING]\nTARGET_FILE=0\n");
    writeText(dir.file("in.mmf"), largeTaviFile());
    const std::vector<std::string> args = {"-i", "in.mmf", "-o", "out.mmf", "-db", "-3"};

    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(testing::runProcess(exe, args, dir.path()).err, "Converted.\n");
    const auto whole = std::chrono::steady_clock::now() - start;
    const std::string converted = readText(dir.file("out.mmf"));

    for (int sig : {SIGINT, SIGTERM, SIGKILL}) {
        for (int percent : {5, 30, 60, 80, 90, 95, 100}) {
            SCOPED_TRACE(std::string(strsignal(sig)) + " at " + std::to_string(percent) + "%");
            writeText(dir.file("out.mmf"), "previous content");
            const pid_t child = testing::startProcess(exe, args, dir.path());
            std::this_thread::sleep_for(whole * percent / 100);
            ::kill(child, sig);
            const testing::ProcessOutcome r = testing::finishProcess(child, dir.path());
            if (r.signal != 0) {
                EXPECT_EQ(r.signal, sig);
            } else {
                EXPECT_EQ(r.err, "Converted.\n");  // finished before the signal came
            }
            const std::string out = readText(dir.file("out.mmf"));
            EXPECT_TRUE(out == "previous content" || out == converted) << out.size() << " bytes";
            for (const std::string& name : testing::listDir(dir.path()))
                EXPECT_NE(name.rfind(".keldro-", 0), 0u) << name;
        }
    }
}

}  // namespace
}  // namespace keldro
