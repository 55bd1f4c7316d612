#include "support/tempdir.h"
#include "tracehook/atomicfile.h"
#include "tracehook/pagevariables.h"
#include "tracehook/recordframer.h"
#include "tracehook/variablesswitch.h"

#include <filesystem>
#include <gtest/gtest.h>

using tracehook::PageVariable;
using tracehook::PageVariables;
using tracehook::VariablesSwitch;

namespace {

std::vector<PageVariable> sampleTree() {
    return {
        {0, "Locals", "", "", false, true},
        {1, "i", "int", "3"},
        {1, "user", "java.lang.String", "\"Ann\""},
        {0, "Request parameters", "", "", false, true},
        {1, "user", "java.lang.String[]", "[\"Ann\"]"},
        {2, "[0]", "java.lang.String", "\"Ann\""},
    };
}

TEST(PageVariablesTest, AnyTextSurvivesTheRecordAndItsFraming) {
    std::string everyByte;
    for (int c = 1; c < 256; ++c)
        everyByte += static_cast<char>(c);
    const std::vector<PageVariable> entries = {
        {0, "a&b", "%%%END%%%", everyByte},
        {0, "", "", ""},
        {1, "%", "&&", "100%"},
        {2, "line\r\nbreak", "t", "\x7F"},
    };
    const std::string record = PageVariables::record("12", entries);
    EXPECT_EQ(record.find("%%%END%%%"), std::string::npos);
    EXPECT_EQ(record.find('\n'), std::string::npos);

    // The record crosses a framer as a page runtime frames it.
    tracehook::RecordFramer framer("%%%END%%%");
    framer.append(record + "%%%END%%%");
    const std::optional<std::string> framed = framer.next();
    ASSERT_TRUE(framed);
    const std::optional<PageVariables::Parsed> parsed = PageVariables::parse(*framed);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->fileId, "12");
    EXPECT_EQ(parsed->entries, entries);
}

TEST(PageVariablesTest, TreeShapeAndFlagsRoundTrip) {
    std::vector<PageVariable> entries = sampleTree();
    entries[2].cut = true;
    const std::optional<PageVariables::Parsed> parsed =
        PageVariables::parse(PageVariables::record("1", entries));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->entries, entries);
    EXPECT_TRUE(PageVariables::parse("%V1&0"));
}

TEST(PageVariablesTest, MalformedRecordsAreRefused) {
    for (const char* text : {
             "%V",                        // no file id
             "%V&0",                      // empty file id
             "%V1",                       // no count
             "%V1&x",                     // count not a number
             "%V1&-1",                    // negative count
             "%V1&1&0&-&a&b",             // fields missing
             "%V1&1&0&-&a&b&c&d",         // fields left over
             "%V1&1&1&-&a&b&c",           // first entry deeper than 0
             "%V1&2&0&-&a&b&c&2&-&a&b&c", // depth jumps by two
             "%V1&1&0&&a&b&c",            // no flags
             "%V1&1&0&-&a%2&b&c",         // cut escape
             "%V1&1&0&-&a%ZZ&b&c",        // not hex
             "%V1&1&0&-&&b&c",            // empty text not written as "%"
             "%L1&2&3&4&5&6",             // another record
         })
        EXPECT_FALSE(PageVariables::parse(text)) << text;
}

TEST(PageVariablesTest, LongValuesAreCutAtACharacterBoundary) {
    bool cut = true;
    EXPECT_EQ(PageVariables::cutValue("short", &cut), "short");
    EXPECT_FALSE(cut);

    // Two-byte characters straddle the bound: the cut never splits one.
    std::string text = "a";
    while (text.size() < PageVariables::maxValueBytes + 10)
        text += "\xC3\xA9";
    const std::string shortened = PageVariables::cutValue(text, &cut);
    EXPECT_TRUE(cut);
    EXPECT_LE(shortened.size(), PageVariables::maxValueBytes);
    EXPECT_GE(shortened.size(), PageVariables::maxValueBytes - 1);
    EXPECT_EQ(shortened.size() % 2, 1u); // "a" and whole two-byte characters
}

TEST(PageVariablesTest, EntriesPastTheBoundAreLeftOut) {
    std::vector<PageVariable> many(PageVariables::maxEntries + 5, PageVariable{0, "x", "int", "1"});
    const std::optional<PageVariables::Parsed> parsed =
        PageVariables::parse(PageVariables::record("1", many));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->entries.size(), PageVariables::maxEntries);
}

TEST(PageVariablesTest, TextsAreQuotedAsJavaShowsThem) {
    EXPECT_EQ(PageVariables::quoted("Ann"), "\"Ann\"");
    EXPECT_EQ(PageVariables::quoted("a\"b\\c\nd\x01"), "\"a\\\"b\\\\c\\nd\\u0001\"");
}

TEST(VariablesSwitchTest, FollowsTheSettingsFileAsTheMonitorReplacesIt) {
    testsupport::TempDir dir;
    const std::string path = (dir.path() / "jspdebug.properties").string();
    auto write = [&](const std::string& text) {
        ASSERT_EQ(tracehook::AtomicFile::write(path, text), "");
    };
    VariablesSwitch variables(path);
    EXPECT_FALSE(variables.enabled()); // no file

    write("port=8082\nSendVariables=true\n");
    EXPECT_TRUE(variables.enabled());
    EXPECT_TRUE(variables.enabled());
    // Same size, written at once: still seen, as each write is a new file.
    write("port=8082\nSendVariables=tru!\n");
    EXPECT_FALSE(variables.enabled());
    write("port=8082\nSendVariables=true\n");
    EXPECT_TRUE(variables.enabled());
    write("port=8082\nSendVariables=false\n");
    EXPECT_FALSE(variables.enabled());
    write("port=8082\nSendVariables=true\n");
    std::filesystem::remove(path);
    EXPECT_FALSE(variables.enabled());

    EXPECT_FALSE(VariablesSwitch("").enabled());
}

} // namespace
