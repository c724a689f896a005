#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "conversion/Controllers.h"
#include "conversion/VolumeOptions.h"

namespace keldro {
namespace {

// The setter examples (and the stored settings-file values) as one table.
struct SetterCase {
    const char* what;
    int targetFile;  // 0 TAVI, 1 MFi
    std::function<void(VolumeController&)> set;
    std::function<int(VolumeController&)> get;
    int expected;
};

int db(VolumeController& c) { return c.settings().dbTenths; }
int mg(VolumeController& c) { return c.settings().maxGainTenths; }
int mv(VolumeController& c) { return c.settings().masterVolume; }

TEST(Setters, ClampParseAndAnswerQueries) {
    const SetterCase cases[] = {
        {"dB 3.25", 0, [](auto& c) { c.setDb("3.25"); }, db, 32},
        {"dB -0.05", 0, [](auto& c) { c.setDb("-0.05"); }, db, 0},
        {"dB 100", 0, [](auto& c) { c.setDb("100"); }, db, 600},
        {"dB 75", 1, [](auto& c) { c.setDb("75"); }, db, 600},
        {"dB -75", 0, [](auto& c) { c.setDb("-75"); }, db, -600},
        {"dB 3.5dB", 0, [](auto& c) { c.setDb("3.5dB"); }, db, 35},
        {"dB abc", 0, [](auto& c) { c.setDb("abc"); }, db, 0},
        {"MG -9.0", 0, [](auto& c) { c.setMaxGain("-9.0"); }, mg, -90},
        {"MG -9.3", 0, [](auto& c) { c.setMaxGain("-9.3"); }, mg, -90},
        {"MG -9.5", 0, [](auto& c) { c.setMaxGain("-9.5"); }, mg, -95},
        {"MG -9.7", 1, [](auto& c) { c.setMaxGain("-9.7"); }, mg, -95},
        {"MG -20", 0, [](auto& c) { c.setMaxGain("-20"); }, mg, -120},
        {"MG 0.4", 0, [](auto& c) { c.setMaxGain("0.4"); }, mg, 0},
        {"MG 3", 1, [](auto& c) { c.setMaxGain("3"); }, mg, 0},
        {"MG 1e300", 0, [](auto& c) { c.setMaxGain("1e300"); }, mg, 0},
        {"MG -1e300", 0, [](auto& c) { c.setMaxGain("-1e300"); }, mg, -120},
        {"MV 300", 0, [](auto& c) { c.setMasterVolume(300); }, mv, 127},
        {"MV -1", 1, [](auto& c) { c.setMasterVolume(-1); }, mv, 0},
        {"TAVI ch 130", 0, [](auto& c) { c.setChannel(2, 130); }, [](auto& c) { return c.settings().channelVolume[2]; },
         127},
        {"MFi ch 100", 1, [](auto& c) { c.setChannel(2, 100); }, [](auto& c) { return c.settings().channelVolume[2]; },
         63},
        {"TAVI ch -5", 0, [](auto& c) { c.setChannel(16, -5); }, [](auto& c) { return c.settings().channelVolume[16]; },
         0},
        {"MFi ch -5", 1, [](auto& c) { c.setChannel(0, -5); }, [](auto& c) { return c.settings().channelVolume[0]; },
         0},
        {"MFi channelValue not given", 1, [](auto& c) { c.setChannel(3, 40); },
         [](auto& c) { return c.settings().channelValue(3); }, -1},
        {"MFi channelValue -c4", 1,
         [](auto& c) {
             c.setChannel(3, 40);
             c.setChannelGiven(3, 1);
         },
         [](auto& c) { return c.settings().channelValue(3); }, 40},
        {"MFi channelValue -ca", 1,
         [](auto& c) {
             c.setChannel(16, 9);
             c.setChannelGiven(16, 1);
         },
         [](auto& c) { return c.settings().channelValue(16); }, 9},
        {"MFi channelValue 17", 1, [](auto&) {}, [](auto& c) { return c.settings().channelValue(17); }, -1},
        {"MFi maxGainSteps -9.5", 1, [](auto& c) { c.setMaxGain("-9.5"); },
         [](auto& c) { return c.settings().maxGainSteps(); }, 19},
        {"absolute 1", 1, [](auto& c) { c.setAbsoluteMode(1); }, [](auto& c) { return int(c.settings().isAbsolute()); },
         1},
        {"absolute 2", 1, [](auto& c) { c.setAbsoluteMode(2); }, [](auto& c) { return int(c.settings().isAbsolute()); },
         0},
        {"log wanted", 0, [](auto& c) { c.setLogFileName("x.txt"); },
         [](auto& c) { return int(!c.logFileName().empty()); }, 1},
        {"log not wanted", 0, [](auto&) {}, [](auto& c) { return int(!c.logFileName().empty()); }, 0},
        {"regulate chorus", 0, [](auto& c) { c.setRegulateChorus(true); },
         [](auto& c) { return int(c.settings().regulateChorus); }, 1},
    };
    for (const auto& t : cases) {
        auto c = makeController(t.targetFile);
        t.set(*c);
        EXPECT_EQ(t.get(*c), t.expected) << t.what;
    }
}

TEST(Setters, SavedTexts) {
    auto c = makeController(0);
    c->setDb("-3.25");
    c->setMaxGain("-9.7");
    EXPECT_EQ(c->dbText(), "-3.2");
    EXPECT_EQ(c->maxGainText(), "-9.5");
    c->setDb("0");
    c->setMaxGain("5");
    EXPECT_EQ(c->dbText(), "0.0");
    EXPECT_EQ(c->maxGainText(), "0.0");
    c->settings().maxGainTenths = -97;  // as a rule might leave it: quantised again when saved
    EXPECT_EQ(c->maxGainText(), "-9.5");
}

// The integer options as every front end gives them (keldro's command line,
// keldro-batch, the byte-level interface and the module all go through
// VolumeOptionSetter): a number past the range of int saturates before the
// setter clamps it, so it never wraps round to a quiet value.
TEST(Setters, IntegerOptionsSaturateBeyondTheRangeOfInt) {
    const struct {
        const char* text;
        int tavi;  // -mv and -c1 in TAVI mode
        int mfi;   // -ca in MFi mode
    } cases[] = {
        {"0", 0, 0},
        {"63", 63, 63},
        {"64", 64, 63},
        {"127", 127, 63},
        {"128", 127, 63},
        {"-1", 0, 0},
        {"  90abc", 90, 63},
        {"abc", 0, 0},
        {"2147483647", 127, 63},
        {"2147483648", 127, 63},
        {"4294967296", 127, 63},
        {"4294967297", 127, 63},
        {"99999999999999999999", 127, 63},
        {"-2147483648", 0, 0},
        {"-2147483649", 0, 0},
        {"-4294967296", 0, 0},
        {"-99999999999999999999", 0, 0},
    };
    for (const auto& t : cases) {
        auto tavi = controllerWithOptions(FileMode::Tavi, {{"mv", t.text}, {"c1", t.text}}, false);
        EXPECT_EQ(tavi->settings().masterVolume, t.tavi) << t.text;
        EXPECT_EQ(tavi->settings().channelVolume[0], t.tavi) << t.text;
        auto mfi = controllerWithOptions(FileMode::Mfi, {{"ca", t.text}}, false);
        EXPECT_EQ(mfi->settings().channelVolume[kAdpcmEntry], t.mfi) << t.text;
    }
}

}  // namespace
}  // namespace keldro
