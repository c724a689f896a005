// The byte-level interface gives what keldro writes and prints for the same
// file and settings, in both modes (keldro run as a real process is the
// reference); the C interface gives the same through the caller's buffers.
#include "conversion/ByteConversion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "conversion/CInterface.h"
#include "mfivolume/VolumeTestSupport.h"
#include "platform/TempDir.h"
#include "support/ProcessRun.h"
#include "volume/Result.h"

extern "C" int convertFromC(const uint8_t* input, size_t size, uint8_t* output, size_t capacity, size_t* outputSize);

namespace keldro {
namespace {

using testing::readText;
using testing::writeText;

struct Case {
    const char* example;
    std::vector<VolumeOption> options;
    bool regulate = false;
};

FileMode modeOf(const std::string& name) { return name.ends_with(".mld") ? FileMode::Mfi : FileMode::Tavi; }

ByteVector bytesOf(const std::string& s) { return ByteVector(s.begin(), s.end()); }

TEST(ByteConversion, GivesWhatKeldroWritesAndPrints) {
    const std::vector<Case> cases = {
        {"vq2_bell.mmf", {{"db", "-3"}}},
        {"vq2_bell.mmf", {{"c16", "50"}}},  // nothing to change: the input comes back
        {"vq3_packed.mmf", {{"db", "4.5"}}},
        {"vq3_walk.mmf", {{"mv", "80"}, {"c1", "50"}}},
        {"vq5_drive.mmf", {{"mg", "-3"}, {"db", "2"}}},  // the relative change wins
        {"vq7_chorus.mmf", {{"db", "-6"}}, true},
        {"vq7_chorus.mmf", {{"mg", "-4.5"}}},
        {"mfi20_chime.mld", {{"c1", "20"}, {"ca", "10"}}},
        {"mfi20_chime.mld", {{"mg", "-3"}}},  // nothing to change
        {"mfi30_march.mld", {{"db", "-3"}}},
        {"mfi31_waltz.mld", {{"mg", "-6"}}},
        {"mfi40_pulse.mld", {{"db", "3"}}, true},
        {"mfi40_pulse.mld", {{"mv", "20"}}},  // a TAVI-only option: nothing changes
    };
    testing::TempDir dir;
    const std::string exe = dir.file("keldro");
    std::filesystem::copy_file(KELDRO_EXE, exe);
    LocalDateTime today;
    ASSERT_TRUE(localDateTime(today));

    for (const Case& c : cases) {
        const std::string name = c.example;
        SCOPED_TRACE(name + " " + c.options[0].name + " " + c.options[0].value);
        const FileMode mode = modeOf(name);
        const std::string input = readText(std::string(KELDRO_SOURCE_DIR) + "/examples/" + name);
        writeText(dir.file("KELDRO.ini"),
                  mode == FileMode::Mfi ? "[SETTING]\nTARGET_FILE=1\n" : "[SETTING]\nTARGET_FILE=0\n");
        writeText(dir.file(name), input);
        const std::string out = dir.file("out" + name.substr(name.size() - 4));
        std::vector<std::string> args = {"-i", dir.file(name), "-o", out};
        for (const VolumeOption& o : c.options) args.insert(args.end(), {"-" + o.name, o.value});
        if (c.regulate) args.push_back("-e");
        const testing::ProcessOutcome keldro = testing::runProcess(exe, args, dir.path());

        ConversionSettings settings{c.options, c.regulate};
        const ConversionOutcome o = convertBytes(mode, ByteSpan(bytesOf(input)), settings, today);
        EXPECT_EQ(o.message + "\n", keldro.err);
        EXPECT_EQ(std::to_string(o.exitStatus) + "\n", keldro.out);
        EXPECT_EQ(o.bytes, bytesOf(readText(out)));
        EXPECT_EQ(o.result == Result::NotConverted, o.bytes == bytesOf(input));
        ::unlink(out.c_str());
    }
}

TEST(ByteConversion, DamagedInputGivesTheErrorAndNoBytes) {
    const ByteVector damaged = {'M', 'M', 'M', 'D', 0, 0, 0, 1};
    const ConversionOutcome o = convertBytes(FileMode::Tavi, ByteSpan(damaged), {}, LocalDateTime{});
    EXPECT_FALSE(o.succeeded());
    EXPECT_EQ(o.message, resultMessage(o.result));
    EXPECT_TRUE(o.bytes.empty());
}

TEST(CInterface, GivesTheSameThroughTheCallersBuffers) {
    const std::string input = readText(std::string(KELDRO_SOURCE_DIR) + "/examples/vq7_chorus.mmf");
    const ByteVector in = bytesOf(input);
    const LocalDateTime today{2026, 12, 10};
    const ConversionOutcome expected = convertBytes(FileMode::Tavi, ByteSpan(in), {{{"db", "-6"}}, true}, today);
    ASSERT_EQ(expected.result, Result::Converted);
    ASSERT_FALSE(expected.changes.empty());

    const keldro_option options[] = {{"db", "-6"}};
    const keldro_settings settings{options, 1, 1, 2026, 12, 10};
    keldro_outcome outcome{};
    // Too small: the outcome says how much is needed.
    EXPECT_EQ(keldro_convert(KELDRO_TAVI, in.data(), in.size(), &settings, nullptr, 0, nullptr, 0, &outcome),
              KELDRO_TOO_SMALL);
    ASSERT_EQ(outcome.output_size, expected.bytes.size());
    ASSERT_EQ(outcome.change_count, expected.changes.size());

    std::vector<std::uint8_t> output(outcome.output_size);
    std::vector<keldro_change> changes(outcome.change_count);
    ASSERT_EQ(keldro_convert(KELDRO_TAVI, in.data(), in.size(), &settings, output.data(), output.size(), changes.data(),
                             changes.size(), &outcome),
              KELDRO_OK);
    EXPECT_EQ(ByteVector(output.begin(), output.end()), expected.bytes);
    EXPECT_EQ(outcome.result, 0);
    EXPECT_STREQ(outcome.message, "Converted.");
    EXPECT_EQ(outcome.kind, 7);
    for (std::size_t i = 0; i < changes.size(); ++i) {
        const VolumeChangeRecord& r = expected.changes[i];
        EXPECT_EQ(changes[i].track, r.track);
        EXPECT_EQ(changes[i].channel, r.channel);
        EXPECT_EQ(changes[i].before_volume, r.beforeVolume);
        EXPECT_EQ(changes[i].after_volume, r.afterVolume);
        EXPECT_EQ(changes[i].before_level, r.beforeLevel);
        EXPECT_EQ(changes[i].after_level, r.afterLevel);
        EXPECT_EQ(changes[i].action, r.action);
        EXPECT_EQ(changes[i].position, r.position);
    }

    // The same from a caller written in C (changes not asked for: too small).
    std::vector<std::uint8_t> fromC(expected.bytes.size() + 16);
    std::size_t fromCSize = 0;
    const ConversionOutcome relative = convertBytes(FileMode::Tavi, ByteSpan(in), {{{"db", "-3"}}, false}, today);
    EXPECT_EQ(convertFromC(in.data(), in.size(), fromC.data(), fromC.size(), &fromCSize),
              relative.changes.empty() ? KELDRO_OK : KELDRO_TOO_SMALL);
    EXPECT_EQ(fromCSize, relative.bytes.size());

    keldro_levels levels{};
    ASSERT_EQ(keldro_inspect(KELDRO_TAVI, in.data(), in.size(), &levels), KELDRO_OK);
    EXPECT_EQ(levels.result, 0);
    EXPECT_STREQ(levels.kind_text, "TAVI/VQ-7");
    EXPECT_TRUE(levels.has_peak);

    EXPECT_EQ(keldro_convert(5, in.data(), in.size(), &settings, nullptr, 0, nullptr, 0, &outcome), KELDRO_INVALID);
    EXPECT_EQ(keldro_inspect(KELDRO_MFI, nullptr, 4, &levels), KELDRO_INVALID);
    // Every message fits the outcome's array.
    for (int number = 0; number <= kLastResultNumber; ++number)
        EXPECT_LT(resultMessage(*resultOfNumber(number)).size(), KELDRO_MESSAGE_SIZE);
}

// An ADPCM volume given for an MFi 2.0 file whose ADPCM note has none: one
// is inserted before the note and set, and the log shows it without a
// volume before.
TEST(ByteConversion, AdpcmVolumeIsInsertedWhereTheFileHasNone) {
    const ByteVector in = test::mfiFile("0200", {test::setup().note(0, 0).adpcmNote(0).note(1, 0)});
    const ConversionOutcome o =
        convertBytes(FileMode::Mfi, ByteSpan(in), {{{"ca", "10"}}}, LocalDateTime{2026, 12, 10});
    ASSERT_EQ(o.result, Result::Converted);
    EXPECT_EQ(o.message, "Converted.");
    const std::string log = resultLogEntry(FileMode::Mfi, o, false, "in.mld", "out.mld", LocalDateTime{2026, 12, 10});
    const std::string rows = log.substr(log.find("Point[sec]"));
    EXPECT_EQ(rows,
              "Point[sec]\tChannel/Track\tAction\tBefore Volume\tAfter Volume\r\n"
              "0.000\tADPCM(trac0)\tAbsolute\t---\t10\t\r\n"
              "\r\n");
}

// The date the caller gives is the one an MFi output carries, as YYYYMMDD.
TEST(CInterface, StampsTheCallersDateIntoMfiFiles) {
    const ByteVector in =
        test::mfiFile("0300", {test::MfiTrackBuilder().maxGain(0, 10).masterVolume(0, 100).note(0, 0).note(4, 0)});
    const keldro_option options[] = {{"db", "-3"}};
    const keldro_settings settings{options, 1, 0, 2026, 3, 21};
    std::vector<std::uint8_t> output(2 * in.size() + 64);
    std::vector<keldro_change> changes(16);
    keldro_outcome outcome{};
    ASSERT_EQ(keldro_convert(KELDRO_MFI, in.data(), in.size(), &settings, output.data(), output.size(), changes.data(),
                             changes.size(), &outcome),
              KELDRO_OK);
    ASSERT_EQ(outcome.result, 0);
    output.resize(outcome.output_size);
    mfi::VolumeFile written;
    ASSERT_EQ(written.parse(output), Result::Converted);
    const auto& date = written.infoRecord().date;
    EXPECT_EQ(std::string(date.begin(), date.end()), "20260321");
}

// Every misuse of the C interface gets a status, never a crash: buffers too
// small (untouched, the outcome says what is needed), null pointers where
// data is needed, and an empty input, which is a file like any other.
TEST(CInterface, AnswersEveryMisuseWithAStatus) {
    const std::string text = readText(std::string(KELDRO_SOURCE_DIR) + "/examples/vq7_chorus.mmf");
    const ByteVector in = bytesOf(text);
    const keldro_option options[] = {{"db", "-6"}};
    const keldro_settings settings{options, 1, 1, 2026, 12, 10};
    keldro_outcome outcome{};
    ASSERT_EQ(keldro_convert(KELDRO_TAVI, in.data(), in.size(), &settings, nullptr, 0, nullptr, 0, &outcome),
              KELDRO_TOO_SMALL);
    const std::size_t size = outcome.output_size, count = outcome.change_count;
    ASSERT_GT(size, 0u);
    ASSERT_GT(count, 0u);

    std::vector<std::uint8_t> output(size + 8, 0xA5);
    std::vector<keldro_change> changes(count + 1);
    struct Case {
        const char* what;
        const std::uint8_t* input;
        std::size_t inputSize;
        const keldro_settings* settings;
        std::uint8_t* output;
        std::size_t outputCapacity;
        keldro_change* changes;
        std::size_t changeCapacity;
        keldro_outcome* outcome;
        int status;
    };
    const keldro_settings noOptions{nullptr, 2, 0, 2026, 12, 10};
    const Case cases[] = {
        {"output one byte short", in.data(), in.size(), &settings, output.data(), size - 1, changes.data(), count,
         &outcome, KELDRO_TOO_SMALL},
        {"changes one short", in.data(), in.size(), &settings, output.data(), size, changes.data(), count - 1, &outcome,
         KELDRO_TOO_SMALL},
        {"no outcome", in.data(), in.size(), &settings, output.data(), size, changes.data(), count, nullptr,
         KELDRO_INVALID},
        {"no input bytes", nullptr, in.size(), &settings, output.data(), size, changes.data(), count, &outcome,
         KELDRO_INVALID},
        {"no options", in.data(), in.size(), &noOptions, output.data(), size, changes.data(), count, &outcome,
         KELDRO_INVALID},
        {"capacity without a buffer", in.data(), in.size(), &settings, nullptr, size, changes.data(), count, &outcome,
         KELDRO_INVALID},
        {"changes capacity without a buffer", in.data(), in.size(), &settings, output.data(), size, nullptr, count,
         &outcome, KELDRO_INVALID},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::fill(output.begin(), output.end(), 0xA5);
        EXPECT_EQ(keldro_convert(KELDRO_TAVI, c.input, c.inputSize, c.settings, c.output, c.outputCapacity, c.changes,
                                 c.changeCapacity, c.outcome),
                  c.status);
        // Nothing is written into the caller's buffers unless all of it fits.
        EXPECT_TRUE(std::all_of(output.begin(), output.end(), [](std::uint8_t b) { return b == 0xA5; }));
    }

    // An empty input in either format: a complete outcome with the error, no output.
    for (int format : {KELDRO_TAVI, KELDRO_MFI}) {
        SCOPED_TRACE(format);
        const FileMode mode = format == KELDRO_TAVI ? FileMode::Tavi : FileMode::Mfi;
        const ConversionOutcome expected = convertBytes(mode, ByteSpan(), {}, LocalDateTime{2026, 12, 10});
        ASSERT_FALSE(expected.succeeded());
        outcome = keldro_outcome{};
        EXPECT_EQ(keldro_convert(format, nullptr, 0, nullptr, nullptr, 0, nullptr, 0, &outcome), KELDRO_OK);
        EXPECT_EQ(outcome.result, resultNumber(expected.result));
        EXPECT_EQ(outcome.message, expected.message);
        EXPECT_EQ(outcome.output_size, 0u);
        keldro_levels levels{};
        EXPECT_EQ(keldro_inspect(format, nullptr, 0, &levels), KELDRO_OK);
        EXPECT_NE(levels.result, 0);
        EXPECT_STREQ(levels.kind_text, "---");
        EXPECT_EQ(keldro_inspect(format, in.data(), in.size(), nullptr), KELDRO_INVALID);
    }
}

// The byte-level normalising and result-log entries are keldro-batch's: the
// same outputs and, but for the time stamps, the same result file.
TEST(ByteConversion, NormalisesAndLogsAsKeldroBatch) {
    testing::TempDir dir;
    const std::filesystem::path examples = std::filesystem::path(KELDRO_SOURCE_DIR) / "examples";
    std::filesystem::copy(examples, dir.file("in"));
    writeText(dir.file("in/broken.mld"), "melo");
    // MFi outputs carry the day they were made: the same day for both sides.
    LocalDateTime today;
    ASSERT_TRUE(localDateTime(today));
    const testing::ProcessOutcome batch =
        testing::runProcess(KELDRO_BATCH_EXE, {"--normalize", "-7", "--regulate", "--out", "out", "in"}, dir.path());
    ASSERT_EQ(batch.code, 1) << batch.err;  // broken.mld
    LocalDateTime after;
    ASSERT_TRUE(localDateTime(after));
    if (after.year != today.year || after.month != today.month || after.day != today.day)
        GTEST_SKIP() << "the day changed while keldro-batch ran";

    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.file("in"))) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    std::string entries;
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const std::optional<FileMode> mode = modeOfPath(name);
        ASSERT_TRUE(mode);
        const ByteVector input = bytesOf(readText(dir.file("in/" + name)));
        const NormalizedOutcome n = normalizeBytes(*mode, ByteSpan(input), -70, true, today);
        if (n.outcome.succeeded()) {
            EXPECT_EQ(n.outcome.bytes, bytesOf(readText(dir.file("out/in/" + name))));
        }
        entries += resultLogEntry(*mode, n.outcome, true, "in/" + name, "out/in/" + name, today);
    }
    const std::regex stamp("Data:[0-9/]+ [0-9:]+");
    EXPECT_EQ(std::regex_replace(entries, stamp, "Data:"),
              std::regex_replace(readText(dir.file("out/KELDRO_result.txt")), stamp, "Data:"));
}

}  // namespace
}  // namespace keldro
