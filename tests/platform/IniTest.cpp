#include "platform/Ini.h"

#include <gtest/gtest.h>

#include "platform/TempDir.h"
#include "support/IniFunctions.h"

namespace keldro {
namespace {

using testing::iniReadInt;
using testing::iniReadString;
using testing::iniWriteInt;
using testing::iniWriteString;
using testing::readText;
using testing::TempDir;
using testing::writeText;

TEST(IniLookup, MatchesNamesIgnoringCaseAndBlanks) {
    const std::string text =
        "; comment\n[other]\nDB_VALUE=9\n [ setting ] \n  db_value  =  3.5dB  \nDB_VALUE=7\nQ=\"a b\"\nE=\n"
        "[SETTING]\nMV_VALUE=1\n";
    std::string v;
    ASSERT_TRUE(iniLookup(text, "SETTING", "DB_VALUE", v));
    EXPECT_EQ(v, "3.5dB");  // first key of the first matching section
    ASSERT_TRUE(iniLookup(text, "SETTING", "Q", v));
    EXPECT_EQ(v, "\"a b\"");  // quotes are part of the value
    ASSERT_TRUE(iniLookup(text, "SETTING", "E", v));
    EXPECT_EQ(v, "");
    EXPECT_FALSE(iniLookup(text, "SETTING", "MV_VALUE", v));  // only in the second [SETTING]
    EXPECT_FALSE(iniLookup(text, "NONE", "DB_VALUE", v));
}

TEST(IniFile, ReadsDefaultsAndAtoiIntegers) {
    TempDir dir;
    const std::string path = dir.file("k.ini");
    EXPECT_EQ(iniReadInt(path, "SETTING", "TARGET_FILE", 255), 255);  // no file
    writeText(path, "[SETTING]\r\nTARGET_FILE=abc\r\nA= -12xyz\r\nB=\r\nC=+7\r\n");
    EXPECT_EQ(iniReadInt(path, "SETTING", "TARGET_FILE", 255), 0);
    EXPECT_EQ(iniReadInt(path, "SETTING", "A", 255), -12);
    EXPECT_EQ(iniReadInt(path, "SETTING", "B", 255), 0);
    EXPECT_EQ(iniReadInt(path, "SETTING", "C", 255), 7);
    EXPECT_EQ(iniReadInt(path, "SETTING", "D", 255), 255);
    EXPECT_EQ(iniReadString(path, "setting", "d", "-9.0"), "-9.0");
}

struct ReplaceCase {
    const char* before;
    const char* key;
    const char* value;
    const char* after;
};

TEST(IniReplace, KeepsEveryOtherLine) {
    const ReplaceCase cases[] = {
        // Replaced in place; its own line end, the other lines and the key order stay.
        {"; top\r\n[SETTING]\r\nTARGET_FILE=0\r\n  db_value = 1.0 \n; c\r\nMV_VALUE=5\r\n", "DB_VALUE", "2.0",
         "; top\r\n[SETTING]\r\nTARGET_FILE=0\r\nDB_VALUE=2.0\n; c\r\nMV_VALUE=5\r\n"},
        // Missing key: after the last non-blank line of its section, CR LF file.
        {"[SETTING]\r\nTARGET_FILE=1\r\n\r\n[OTHER]\r\nX=1\r\n", "MV_VALUE", "100",
         "[SETTING]\r\nTARGET_FILE=1\r\nMV_VALUE=100\r\n\r\n[OTHER]\r\nX=1\r\n"},
        // Missing key, last line without a line end: the line end is added first (LF file).
        {"[SETTING]\nTARGET_FILE=1", "MG_VALUE", "-9.0", "[SETTING]\nTARGET_FILE=1\nMG_VALUE=-9.0\n"},
        // Missing section: appended at the end.
        {"[OTHER]\r\nX=1", "DB_VALUE", "0.0", "[OTHER]\r\nX=1\r\n[SETTING]\r\nDB_VALUE=0.0\r\n"},
        // Empty file.
        {"", "DB_VALUE", "0.0", "[SETTING]\nDB_VALUE=0.0\n"},
        // A UTF-8 byte order mark stays in front of the first line.
        {"\xEF\xBB\xBF[SETTING]\r\nA=0\r\n", "A", "1", "\xEF\xBB\xBF[SETTING]\r\nA=1\r\n"},
        // Empty section header only.
        {"[SETTING]\n", "A", "1", "[SETTING]\nA=1\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(iniReplace(c.before, "SETTING", c.key, c.value), c.after) << c.before;
}

TEST(IniFile, WritesInPlaceAndSkipsReadOnlyFiles) {
    TempDir dir;
    const std::string path = dir.file("k.ini");
    writeText(path, "[SETTING]\r\nTARGET_FILE=0\r\nMV_VALUE=300\r\n");
    EXPECT_TRUE(iniWriteInt(path, "SETTING", "MV_VALUE", 127));
    EXPECT_TRUE(iniWriteString(path, "SETTING", "MG_VALUE", "-9.5"));
    EXPECT_EQ(readText(path), "[SETTING]\r\nTARGET_FILE=0\r\nMV_VALUE=127\r\nMG_VALUE=-9.5\r\n");

    testing::makeReadOnly(path);
    EXPECT_FALSE(iniWriteString(path, "SETTING", "MG_VALUE", "0.0"));
    EXPECT_EQ(readText(path), "[SETTING]\r\nTARGET_FILE=0\r\nMV_VALUE=127\r\nMG_VALUE=-9.5\r\n");
    EXPECT_EQ(testing::listDir(dir.path()).size(), 1u);  // no temporary file left behind
}

// One IniFile holding many reads and writes ends as writing each key with
// its own read and write of the file would, and reads see earlier writes.
TEST(IniFile, ReadOnceSaveOnceEqualsKeyByKey) {
    TempDir dir;
    const std::string text = "; top\r\n[Other]\r\nDB_VALUE=1\r\n[setting]\r\n db_value = 2.0\r\nTARGET_FILE=1\r\n\r\n";
    const std::vector<std::pair<std::string, std::string>> writes = {
        {"SETTING", "DB_VALUE"}, {"SETTING", "MV_VALUE"}, {"OTHER", "DB_VALUE"}, {"NEW", "X"}, {"SETTING", "MG_VALUE"},
    };
    writeText(dir.file("each.ini"), text);
    writeText(dir.file("once.ini"), text);
    IniFile once(dir.file("once.ini"));
    // Answers looked up ahead hold until a write, which every later read sees.
    once.readAhead("setting", {"db_value", "MV_VALUE", "MG_VALUE", "TARGET_FILE"});
    EXPECT_EQ(once.readString("SETTING", "DB_VALUE", "-"), "2.0");
    EXPECT_EQ(once.readString("SETTING", "MV_VALUE", "-"), "-");
    for (std::size_t i = 0; i < writes.size(); ++i) {
        const auto& [section, key] = writes[i];
        const std::string value = "v" + std::to_string(i);
        ASSERT_TRUE(iniWriteString(dir.file("each.ini"), section, key, value));
        once.writeString(section, key, value);
        EXPECT_EQ(once.readString(section, key, "-"), value) << key;
        EXPECT_EQ(once.readInt("SETTING", "TARGET_FILE", 255), 1);
    }
    EXPECT_EQ(readText(dir.file("once.ini")), text);  // nothing written before save()
    ASSERT_TRUE(once.save());
    EXPECT_EQ(readText(dir.file("once.ini")), readText(dir.file("each.ini")));

    // Read-only, or a folder: save() fails and writes nothing.
    testing::makeReadOnly(dir.file("once.ini"));
    IniFile readOnly(dir.file("once.ini"));
    readOnly.writeInt("SETTING", "MV_VALUE", 5);
    EXPECT_FALSE(readOnly.save());
    EXPECT_EQ(readText(dir.file("once.ini")), readText(dir.file("each.ini")));
    IniFile folder(dir.path());
    folder.writeInt("SETTING", "MV_VALUE", 5);
    EXPECT_FALSE(folder.save());
    EXPECT_EQ(testing::listDir(dir.path()).size(), 2u);
}

}  // namespace
}  // namespace keldro
