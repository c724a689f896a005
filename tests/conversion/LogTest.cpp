// Log bytes of worked examples: header, table cells, sorting and columns.
#include "conversion/ResultLog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "volume/Result.h"
#include "platform/TempDir.h"
#include "platform/Text.h"

namespace keldro {
namespace {

const LocalDateTime kNow{2006, 2, 6, 18, 33, 19};
const std::string kRule = std::string(86, '=') + "\r\n";

VolumeChangeRecord rec(int track, int channel, int action, std::uint64_t position, int before = 0, int after = 0) {
    VolumeChangeRecord r;
    r.track = static_cast<std::uint8_t>(track);
    r.channel = static_cast<std::uint8_t>(channel);
    r.action = static_cast<std::uint8_t>(action);
    r.position = position;
    r.beforeVolume = static_cast<std::uint8_t>(before);
    r.afterVolume = static_cast<std::uint8_t>(after);
    r.timebase = 4;
    return r;
}

FileResult resultOf(Result outcome, int kind, VolumeChangeList changes = {}) {
    FileResult r;
    r.outcome = outcome;
    r.message = std::string(resultMessage(outcome));
    r.kind = kind;
    r.changes = std::move(changes);
    return r;
}

LogContext tavi(bool chorus = false) {
    LogContext c;
    c.mode = FileMode::Tavi;
    c.inputFileName = "in.mmf";
    c.outputFileName = "out.mmf";
    c.regulateChorus = chorus;
    c.dbTenths = -30;
    return c;
}

TEST(Log, ConvertedVq2) {
    FileResult r = resultOf(Result::Converted, 2,
                            {rec(1, 1, kActionVolumeRelative, 480, 100, 71), rec(3, 1, kActionVolumeAbsolute, 0, 5, 6),
                             rec(0, 0, kActionInsertedVolumeRelative, 480, 99, 80)});
    EXPECT_EQ(buildLogEntry(tavi(), r, kNow),
              "IN:in.mmf\tTAVI/VQ-2\tResult:OK\tDetail:Converted.(0)\tData:2006/02/06 18:33:19\r\n"
              "OUT:out.mmf\r\n" +
                  kRule +
                  "Point[sec]\tChannel/Track\tAction\tBefore Volume\tAfter Volume\r\n"
                  "0.000\t10(MTR3)\tAbsolute\t5\t6\t\r\n"
                  "1.920\t2(MTR1)\tRelative(-3.0dB)\t100\t71\t\r\n"
                  "1.920\tATR0\tRelative(-3.0dB)\t[99]\t80\t\r\n"
                  "\r\n");
}

TEST(Log, NotConvertedAndRejected) {
    FileResult r = resultOf(Result::NotConverted, 3, {rec(1, 1, kActionVolumeRelative, 480, 100, 71)});
    EXPECT_EQ(buildLogEntry(tavi(), r, kNow),
              "IN:in.mmf\tTAVI/VQ-3\tResult:OK\tDetail:Not Converted - Not exist target volume.(0)\t"
              "Data:2006/02/06 18:33:19\r\nOUT:out.mmf\r\n" +
                  kRule + "\r\n");
    FileResult bad = resultOf(Result::NoTaviFile, 0);
    LogContext ctx = tavi();
    ctx.inputFileName = "";
    ctx.outputFileName = "";
    EXPECT_EQ(buildLogEntry(ctx, bad, kNow),
              "IN:\t---\tResult:NG\tError:No TAVI file.(-23)\tData:2006/02/06 18:33:19\r\nOUT:\r\n" + kRule + "\r\n");
}

// A name cannot split its entry or forge another: a name holding a control
// character has each one spelt out (and its backslashes doubled, so the text
// reads back as one name); every other name stays byte for byte.
TEST(Log, NamesWithControlCharactersStayOnTheirLine) {
    const struct {
        const char* name;
        std::string given;
        std::string logged;
    } cases[] = {
        {"line break forging an entry", "a.mmf\r\nIN:b.mmf\tTAVI/VQ-2\tResult:OK",
         "a.mmf\\r\\nIN:b.mmf\\tTAVI/VQ-2\\tResult:OK"},
        {"other control characters", std::string("a\x01\x1b[2J\x7f\0.mmf", 12), "a\\x01\\x1B[2J\\x7F\\x00.mmf"},
        {"backslash beside a line break", "a\\n\n.mmf", "a\\\\n\\n.mmf"},
        {"backslash alone", "a\\n.mmf", "a\\n.mmf"},
        {"bytes above 0x7F", "\xe6\x9b\xb2 \xff.mmf", "\xe6\x9b\xb2 \xff.mmf"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LogContext ctx = tavi();
        ctx.inputFileName = c.given;
        ctx.outputFileName = "out/" + c.given;
        FileResult r = resultOf(Result::NoTaviFile, 0);
        EXPECT_EQ(buildLogEntry(ctx, r, kNow), "IN:" + c.logged +
                                                   "\t---\tResult:NG\tError:No TAVI file.(-23)\tData:2006/02/06 "
                                                   "18:33:19\r\nOUT:out/" +
                                                   c.logged + "\r\n" + kRule + "\r\n");
    }
}

TEST(Log, Vq7GainAndLevelColumns) {
    VolumeChangeRecord gain = rec(7, 0, kActionMaxGainAbsolute, 10);
    gain.beforeGain = 18;
    gain.afterGain = 24;
    VolumeChangeRecord depth = rec(7, 2, kActionEffectDepthRelative, 20);
    depth.beforeLevel = 64;
    depth.afterLevel = 45;
    VolumeChangeRecord send = rec(7, 2, kActionChorusSendAbsolute, 30);
    send.beforeLevel = 1;
    send.afterLevel = 2;
    VolumeChangeRecord beforeNote = rec(7, 3, kActionChorusBeforeNoteRelative, 40);
    beforeNote.beforeLevel = 100;
    beforeNote.afterLevel = 70;
    VolumeChangeRecord master = rec(7, 0, kActionVolumeRelative, 50, 100, 90);
    VolumeChangeRecord none = rec(7, 0, 13, 60, 1, 1);
    VolumeChangeList all = {master, none, beforeNote, send, depth, gain};

    FileResult plain = resultOf(Result::Converted, 7, all);
    EXPECT_EQ(buildLogEntry(tavi(false), plain, kNow),
              "IN:in.mmf\tTAVI/VQ-7\tResult:OK\tDetail:Converted.(0)\tData:2006/02/06 18:33:19\r\n"
              "OUT:out.mmf\r\n" +
                  kRule +
                  "Point[sec]\tChannel/Track\tAction\tBefore Volume\tAfter Volume\tBefore Gain\tAfter Gain\r\n"
                  "0.040\tMTR7\tAbsolute\t---\t---\t18\t24\t\r\n"
                  "0.200\tMTR7\tRelative(-3.0dB)\t100\t90\t---\t---\t\r\n"
                  "\r\n");

    FileResult chorus = resultOf(Result::Converted, 7, all);
    EXPECT_EQ(buildLogEntry(tavi(true), chorus, kNow),
              "IN:in.mmf\tTAVI/VQ-7\tResult:OK\tDetail:Converted.(0)\tData:2006/02/06 18:33:19\r\n"
              "OUT:out.mmf\r\n" +
                  kRule +
                  "Point[sec]\tChannel/Track\tAction\tBefore Volume\tAfter Volume\tBefore Gain\tAfter Gain"
                  "\tBefore Level\tAfter Level\r\n"
                  "0.040\tMTR7\tAbsolute\t---\t---\t18\t24\t---\t---\t\r\n"
                  "0.080\tMTR7\tRelative(-3.0dB)\t---\t---\t---\t---\t64(R)\t45(R)\t\r\n"
                  "0.120\t3(MTR7)\tAbsolute\t---\t---\t---\t---\t1(S)\t2(S)\t\r\n"
                  "0.160\t4(MTR7)\tRelative(-3.0dB)\t---\t---\t---\t---\t[100(S)]\t70(S)\t\r\n"
                  "0.200\tMTR7\tRelative(-3.0dB)\t100\t90\t---\t---\t---\t---\t\r\n"
                  "\r\n");
}

TEST(Log, ExchangeSortOrder) {
    // The exchange sort is not stable: equal positions come out in the order it gives.
    VolumeChangeList list = {rec(1, 0, kActionVolumeRelative, 5, 1), rec(1, 0, kActionVolumeRelative, 5, 2),
                             rec(1, 0, kActionVolumeRelative, 1, 3), rec(1, 0, kActionVolumeRelative, 5, 4)};
    sortChangesByPosition(list);
    std::vector<int> order;
    for (const auto& r : list) order.push_back(r.beforeVolume);
    EXPECT_EQ(order, (std::vector<int>{3, 2, 1, 4}));
    VolumeChangeList sorted = {rec(1, 0, kActionVolumeRelative, 1, 1), rec(1, 0, kActionVolumeRelative, 1, 2),
                               rec(1, 0, kActionVolumeRelative, 2, 3)};
    sortChangesByPosition(sorted);
    EXPECT_EQ(sorted[0].beforeVolume, 1);
    EXPECT_EQ(sorted[1].beforeVolume, 2);
}

// The exchange sort as the log defines it, quadratic, for comparison.
void exchangeSort(VolumeChangeList& changes) {
    for (std::size_t n = 0; n < changes.size(); ++n)
        for (std::size_t i = n; i < changes.size(); ++i)
            if (changes[i].position < changes[n].position) std::swap(changes[n], changes[i]);
}

// A record identified by its number in three byte fields the sort does not read.
void tag(VolumeChangeRecord& r, std::size_t number) {
    r.track = static_cast<std::uint8_t>(number);
    r.channel = static_cast<std::uint8_t>(number >> 8);
    r.beforeVolume = static_cast<std::uint8_t>(number >> 16);
}
std::size_t tagOf(const VolumeChangeRecord& r) {
    return std::size_t{r.track} | std::size_t{r.channel} << 8 | std::size_t{r.beforeVolume} << 16;
}

std::vector<std::size_t> tags(const VolumeChangeList& list) {
    std::vector<std::size_t> out;
    for (const auto& r : list) out.push_back(tagOf(r));
    return out;
}

TEST(Log, SortGivesTheExchangeSortOrderOnAnyList) {
    std::mt19937 random(7);
    for (int round = 0; round < 3000; ++round) {
        const std::size_t size = random() % 100;  // short lists and long ones, which are sorted another way
        const std::uint64_t positions = 1 + random() % (round % 3 == 0 ? 3 : 12);
        VolumeChangeList list(size);
        for (std::size_t i = 0; i < size; ++i) {
            list[i].position = random() % positions;
            if (round % 5 == 0) list[i].position |= std::uint64_t{1} << 63;  // compared unsigned
            tag(list[i], i);
        }
        VolumeChangeList expected = list;
        exchangeSort(expected);
        sortChangesByPosition(list);
        ASSERT_EQ(tags(list), tags(expected)) << "round " << round;
    }
}

TEST(Log, SortOfAHundredThousandChangesIsNotQuadratic) {
    // Descending positions with repeats: every pass of the exchange sort
    // would move records; 200 000 of them would take it minutes.
    constexpr std::size_t kCount = 200000;
    VolumeChangeList list(kCount);
    for (std::size_t i = 0; i < kCount; ++i) {
        list[i].position = (kCount - i) / 3;
        tag(list[i], i);
    }
    sortChangesByPosition(list);
    std::vector<bool> seen(kCount);
    for (std::size_t i = 0; i < kCount; ++i) {
        if (i > 0) {
            ASSERT_LE(list[i - 1].position, list[i].position);
        }
        seen[tagOf(list[i])] = true;
    }
    EXPECT_EQ(std::count(seen.begin(), seen.end(), true), static_cast<std::ptrdiff_t>(kCount));
}

TEST(Log, MfiCells) {
    LogContext ctx = tavi(true);
    ctx.mode = FileMode::Mfi;
    ctx.inputFileName = "a.mld";
    ctx.outputFileName = "b.mld";
    VolumeChangeRecord a = rec(1, 18, kActionChorusSendRelative, 1500);
    a.beforeLevel = 10;
    a.afterLevel = 7;
    VolumeChangeRecord b = rec(2, 3, kActionChorusSendAbsolute, 1501);
    FileResult r40 = resultOf(Result::Converted, 40, {a, b, rec(0, 0, kActionVolumeAbsolute, 2000, 0, 0)});
    r40.changes[2].beforeGain = 0;
    EXPECT_EQ(buildLogEntry(ctx, r40, kNow),
              "IN:a.mld\tMFi/4.0\tResult:OK\tDetail:Converted.(0)\tData:2006/02/06 18:33:19\r\n"
              "OUT:b.mld\r\n" +
                  kRule +
                  "Point[sec]\tChannel/Track\tAction\tBefore Volume\tAfter Volume\tBefore Gain\tAfter Gain"
                  "\tBefore Level\tAfter Level\r\n"
                  "1.500\t7(trac1:A)\tRelative(-3.0dB)\t---\t---\t---\t---\t10(S)\t7(S)\t\r\n"
                  "1.501\t12(trac2)\tAbsolute\t---\t---\t---\t---\t0(S)\t0(S)\t\r\n"
                  "2.000\ttrac0\tAbsolute\t0\t0\t---\t---\t---\t---\t\r\n"
                  "\r\n");

    FileResult r20 =
        resultOf(Result::Converted, 20,
                 {rec(1, 2, kActionVolumeRelative, 250, 63, 50), rec(255, 0, kActionVolumeAbsolute, 0, 40, 30)});
    EXPECT_EQ(buildLogEntry(ctx, r20, kNow),
              "IN:a.mld\tMFi/2.0\tResult:OK\tDetail:Converted.(0)\tData:2006/02/06 18:33:19\r\n"
              "OUT:b.mld\r\n" +
                  kRule +
                  "Point[sec]\tChannel/Track\tAction\tBefore Volume\tAfter Volume\r\n"
                  "0.000\tADPCM(trac0)\tAbsolute\t40\t30\t\r\n"
                  "0.250\t7(trac1)\tRelative(-3.0dB)\t63\t50\t\r\n"
                  "\r\n");

    FileResult r31 = resultOf(Result::MfiNonsupportVersion, 31);
    const std::string prefix = "IN:a.mld\tMFi/3.1\tResult:NG\tError:Nonsupport version of MFi format.(-55)\t";
    EXPECT_EQ(buildLogEntry(ctx, r31, kNow).rfind(prefix, 0), 0u);
}

// The seconds cell is printf's "%.3f" of changeSeconds() for every position,
// whether written from whole milliseconds or through printf (2^40 ms and up).
TEST(Log, SecondsCellIsPrintfsThreeDecimals) {
    std::vector<std::uint64_t> positions = {
        0, 1, 5, 999, 1000, 1001, 59999, 123456789, (1ULL << 40) - 1, 1ULL << 40, (1ULL << 53) + 1, ~0ULL};
    std::mt19937_64 random(9);
    for (int i = 0; i < 2000; ++i) positions.push_back(random() >> (random() % 64));
    for (const FileMode mode : {FileMode::Tavi, FileMode::Mfi}) {
        LogContext ctx = tavi();
        ctx.mode = mode;
        for (const std::uint64_t position : positions) {
            VolumeChangeRecord r = rec(1, 0, 1, position, 100, 90);
            r.timebase = 0xFB;  // 251 ms per tick
            FileResult result = resultOf(Result::Converted, mode == FileMode::Tavi ? 2 : 20, {r});
            const std::string entry = buildLogEntry(ctx, result, kNow);
            const std::size_t row = entry.find("Volume\r\n") + 8;
            EXPECT_EQ(entry.substr(row, entry.find('\t', row) - row), formatText("%.3f", changeSeconds(mode, r)))
                << position;
        }
    }
}

TEST(Log, KindCellNamesOnlyTheKnownKinds) {
    struct Case {
        FileMode mode;
        int kind;
        std::string cell;
    };
    const Case cases[] = {
        {FileMode::Tavi, 2, "TAVI/VQ-2"}, {FileMode::Tavi, 3, "TAVI/VQ-3"}, {FileMode::Tavi, 5, "TAVI/VQ-5"},
        {FileMode::Tavi, 7, "TAVI/VQ-7"}, {FileMode::Tavi, 4, "---"},       {FileMode::Tavi, -1, "---"},
        {FileMode::Mfi, 20, "MFi/2.0"},   {FileMode::Mfi, 30, "MFi/3.0"},   {FileMode::Mfi, 31, "MFi/3.1"},
        {FileMode::Mfi, 40, "MFi/4.0"},   {FileMode::Mfi, 21, "---"},       {FileMode::Mfi, 7, "---"},
    };
    for (const Case& c : cases) {
        LogContext ctx = tavi();
        ctx.mode = c.mode;
        FileResult result = resultOf(Result::NotConverted, c.kind);
        const std::string line = buildLogEntry(ctx, result, kNow);
        EXPECT_EQ(line.substr(0, line.find("\tResult")), "IN:in.mmf\t" + c.cell) << c.kind;
    }
}

TEST(Log, WritesCreateAndAppend) {
    testing::TempDir d;
    const std::string path = d.file("log.txt");
    testing::writeText(path, "old");
    EXPECT_TRUE(writeLogText(path, "one\r\n", true));
    EXPECT_TRUE(writeLogText(path, "two\r\n", false));
    EXPECT_EQ(testing::readText(path), "one\r\ntwo\r\n");
    EXPECT_FALSE(writeLogText(d.file("none/log.txt"), "x", true));
    EXPECT_FALSE(writeLogText(d.file("missing.txt"), "x", false));
    testing::makeReadOnly(path);
    EXPECT_FALSE(writeLogText(path, "three", true));
    EXPECT_EQ(testing::readText(path), "one\r\ntwo\r\n");
}

// An entry streamed to the log is the entry built whole, written as
// writeLogText writes it: a table far longer than a piece handed to the file,
// in the log's order, created and then appended to; and the same refusals.
TEST(Log, StreamedEntriesAreTheEntriesBuiltWhole) {
    std::mt19937 random(11);
    VolumeChangeList changes;
    for (int i = 0; i < 5000; ++i)  // about 200 KiB of rows, out of order with repeats
        changes.push_back(rec(1 + i % 4, i % 4, kActionVolumeRelative, random() % 700, i % 128, (i * 7) % 128));
    const FileResult source = resultOf(Result::Converted, 2, changes);
    FileResult built = source;
    const std::string entry = buildLogEntry(tavi(), built, kNow);
    ASSERT_GT(entry.size(), 150000u);

    testing::TempDir d;
    const std::string path = d.file("log.txt");
    testing::writeText(path, "old");
    FileResult streamed = source;
    EXPECT_TRUE(streamLogEntry(path, tavi(), streamed, kNow, true));
    EXPECT_EQ(testing::readText(path), entry);
    streamed = source;
    EXPECT_TRUE(streamLogEntry(path, tavi(), streamed, kNow, false));
    EXPECT_EQ(testing::readText(path), entry + entry);

    streamed = source;
    EXPECT_FALSE(streamLogEntry(d.file("none/log.txt"), tavi(), streamed, kNow, true));
    EXPECT_FALSE(streamLogEntry(d.file("missing.txt"), tavi(), streamed, kNow, false));
    testing::makeReadOnly(path);
    EXPECT_FALSE(streamLogEntry(path, tavi(), streamed, kNow, true));
    EXPECT_EQ(testing::readText(path), entry + entry);
}

}  // namespace
}  // namespace keldro
