#include "core/monitormessagefile.h"
#include "support/tempdir.h"
#include "tracehook/resourcebundle.h"

#include <gtest/gtest.h>

using tracewin::MonitorMessageFile;
using Args = std::vector<std::string>;

namespace {

TEST(MonitorMessageFormat, ReplacesPlaceholdersAndKeepsEverythingElse) {
    EXPECT_EQ(MonitorMessageFile::format("before %1 after", {"3"}), "before 3 after");
    EXPECT_EQ(MonitorMessageFile::format("line 12 of 40", {"x"}), "line 12 of 40");
    EXPECT_EQ(MonitorMessageFile::format("%12", {"a"}), "a2");
    EXPECT_EQ(MonitorMessageFile::format("%2-%1", {"a", "b"}), "b-a");
    EXPECT_EQ(MonitorMessageFile::format("%9", {"1", "2", "3", "4", "5", "6", "7", "8", "9"}), "9");
}

TEST(MonitorMessageFormat, NeverFailsOnStrayPercentOrMissingArguments) {
    EXPECT_EQ(MonitorMessageFile::format("100%", {}), "100%");
    EXPECT_EQ(MonitorMessageFile::format("%", {}), "%");
    EXPECT_EQ(MonitorMessageFile::format("%0 %x %%1", {"A"}), "%0 %x %A");
    EXPECT_EQ(MonitorMessageFile::format("<%3>", {"a"}), "<%3>");
    EXPECT_EQ(MonitorMessageFile::format("", {"a"}), "");
}

class MessageFileTest : public ::testing::Test {
protected:
    void SetUp() override { tracehook::ResourceBundle::setDefaultLocale(std::string("de")); }
    void TearDown() override { tracehook::ResourceBundle::setDefaultLocale(std::nullopt); }
    testsupport::TempDir dir;
};

TEST_F(MessageFileTest, ReadsIdentifiersAndTemplatesExactly) {
    dir.write("MonitorMsg.properties",
              "0001=The end tag of %1 is forbidden\nno separator\n 0002 = a=b \n0001=again %1\r\n");
    MonitorMessageFile file(dir.str() + "/MonitorMsg");
    EXPECT_EQ(file.getMsgStr("0001"), std::optional<std::string>("again %1"));
    EXPECT_EQ(file.getMsgStr(" 0002 "), std::optional<std::string>(" a=b "));
    EXPECT_EQ(file.getMsgStr("0001", {"<br>"}), "again <br>");
    EXPECT_EQ(file.getMsgStr("9999"), std::nullopt);
    EXPECT_EQ(file.getMsgStr("9999", {"x"}), "");
}

TEST_F(MessageFileTest, ALocalisedFileIsUsedInsteadOfTheBaseNeverBoth) {
    dir.write("MonitorMsg.properties", "0001=base\n0002=only in base\n");
    dir.write("MonitorMsg_de.properties", "0001=lokal\n");
    MonitorMessageFile file(dir.str() + "/MonitorMsg");
    EXPECT_EQ(file.getMsgStr("0001"), std::optional<std::string>("lokal"));
    EXPECT_EQ(file.getMsgStr("0002"), std::nullopt);
}

TEST_F(MessageFileTest, AMissingFileLeavesNoMessagesAndSaysSo) {
    testing::internal::CaptureStdout();
    MonitorMessageFile file(dir.str() + "/MonitorMsg");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Error: Cannot read the file \"" + dir.str() +
                  "/MonitorMsg.properties\".\n\tCannot get offset info of "
                  "this file\n");
    EXPECT_EQ(file.getMsgStr("0001", {}), "");
}

} // namespace
