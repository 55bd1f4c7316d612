#include "core/monitorsettings.h"
#include "support/scopedenvironment.h"
#include "support/tempdir.h"
#include "tracehook/debugconstants.h"
#include "tracehook/messagehandler.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;
using tracewin::DebugSettings;
using tracewin::MonitorSettings;

namespace {

// An install tree: runtime home jspvlm/nqc/bin and the monitor's tool directory.
class SettingsTest : public ::testing::Test {
protected:
    SettingsTest()
        : program(root.str() + "/jspvlm/tools/com-zet-kwo-ui-jspdebug"),
          settings(program, root.str() + "/jspvlm/nqc/bin",
                   [](std::string_view key) { return "# comment for " + std::string(key); }) {
        std::filesystem::create_directories(root.path() / "jspvlm/nqc/bin");
        std::filesystem::create_directories(program + "/com/zet/kwo/jsp/ui");
        tracehook::DebugConstants::force(false, false);
        previous = tracehook::MessageHandler::setPresenter(
            [this](const tracehook::MessageHandler::Dialog& d) { dialogs.push_back(d.message); });
    }
    ~SettingsTest() override {
        tracehook::MessageHandler::setPresenter(previous);
        tracehook::DebugConstants::lookAgain();
    }

    testsupport::TempDir root;
    std::string program;
    MonitorSettings settings;
    std::vector<std::string> dialogs;
    tracehook::MessageHandler::Presenter previous;
};

TEST_F(SettingsTest, DebugSettingsAreWrittenPortFirstAndReadByBothReaders) {
    DebugSettings s{9123, true, false, false};
    ASSERT_TRUE(settings.saveCurrentDebugMode(s));
    EXPECT_EQ(testsupport::readFile(program + "/jspdebug.properties"),
              "port=9123\nDebugModeOn=true\nRetrieveSyntaxErr=false\nSkipRunAnimation=false\n\n"
              "# comment for L-DebugComment");
    EXPECT_EQ(std::filesystem::canonical(settings.debugSettingsPath()),
              std::filesystem::canonical(settings.debugSettingsPathFromRuntime()));
    EXPECT_EQ(settings.getConnectPort(), std::optional<int>(9123));
    EXPECT_EQ(settings.displaySettings(), s);
}

TEST_F(SettingsTest, ConnectPortComesFromTheFirstLineOnly) {
    root.write("jspvlm/tools/com-zet-kwo-ui-jspdebug/jspdebug.properties",
               "DebugModeOn=true\nport=7000\n");
    EXPECT_EQ(settings.getConnectPort(), std::nullopt);
    EXPECT_EQ(settings.displaySettings().port, 7000) << "the preferences page still finds the port";
    root.write("jspvlm/tools/com-zet-kwo-ui-jspdebug/jspdebug.properties", "port=80x81\r\n");
    EXPECT_EQ(settings.getConnectPort(), std::nullopt);
    root.write("jspvlm/tools/com-zet-kwo-ui-jspdebug/jspdebug.properties", "port=8090\r\n");
    EXPECT_EQ(settings.getConnectPort(), std::optional<int>(8090));
    std::filesystem::remove(program + "/jspdebug.properties");
    EXPECT_EQ(settings.getConnectPort(), std::nullopt);
}

TEST_F(SettingsTest, MissingOrMalformedDebugKeysGiveTheDefaults) {
    EXPECT_EQ(settings.displaySettings(), DebugSettings{});
    root.write("jspvlm/tools/com-zet-kwo-ui-jspdebug/jspdebug.properties",
               "port=abc\nDebugModeOn=TRUE\nRetrieveSyntaxErr=true\n");
    DebugSettings s = settings.displaySettings();
    EXPECT_EQ(s.port, 8082);
    EXPECT_FALSE(s.debugModeOn) << "only the exact text true counts";
    EXPECT_TRUE(s.retrieveSyntaxErr);
    EXPECT_TRUE(s.skipRunAnimation);
}

TEST_F(SettingsTest, FlagFilesRoundTripAndFallBackToTheirDefaults) {
    EXPECT_FALSE(settings.getIsRunPause());
    EXPECT_TRUE(settings.getIsSkipRunAnimation());
    EXPECT_FALSE(settings.retrieveIsMonitorWindowExists());

    ASSERT_TRUE(settings.saveIsRunPause(true));
    ASSERT_TRUE(settings.saveIsSkipRunAnimation(false));
    ASSERT_TRUE(settings.saveIsMonitorWindowExists(true));
    ASSERT_TRUE(settings.saveIsResetPortNum(true));
    EXPECT_TRUE(settings.getIsRunPause());
    EXPECT_FALSE(settings.getIsSkipRunAnimation());
    EXPECT_TRUE(settings.retrieveIsMonitorWindowExists());
    EXPECT_EQ(testsupport::readFile(settings.runPausePath()),
              "RunPause=true\n\n# comment for L-DebugComment");
    EXPECT_EQ(testsupport::readFile(settings.resetPortNumPath()),
              "isResetPortNum=true\n\n# comment for L-ResetPortNumComment");
    EXPECT_EQ(testsupport::readFile(settings.monitorStatusPath()),
              "IsMonitorWindowExists=true\n\n# comment for L-MonitorStatusComment");

    root.write("jspvlm/tools/com-zet-kwo-ui-jspdebug/com/zet/kwo/jsp/ui/runPause.properties",
               "RunPause=TRUE\n");
    EXPECT_FALSE(settings.getIsRunPause());
    std::filesystem::remove(settings.skipAnimationPath());
    EXPECT_TRUE(settings.getIsSkipRunAnimation());
}

// A run reads the flags on every step, from memory while the files stay as they are; every
// way the file can change must still be seen at the next read.
TEST_F(SettingsTest, FlagReadsSeeEveryChangeOfTheFile) {
    const std::string path = settings.runPausePath();
    ASSERT_TRUE(settings.saveIsRunPause(true));
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(settings.getIsRunPause());
    ASSERT_TRUE(settings.saveIsRunPause(false)); // replaced by rename
    EXPECT_FALSE(settings.getIsRunPause());

    // Rewritten in place, same length, at once: the change time tells.
    { std::ofstream(path, std::ios::trunc) << "RunPause =true\n"; }
    EXPECT_TRUE(settings.getIsRunPause());
    { std::ofstream(path, std::ios::trunc) << "RunPause=false\n"; }
    EXPECT_FALSE(settings.getIsRunPause());

    std::filesystem::remove(path);
    EXPECT_FALSE(settings.getIsRunPause()) << "a removed file gives the default";
    std::filesystem::create_directory(path);
    EXPECT_FALSE(settings.getIsRunPause()) << "a folder in its place is not a file";
    std::filesystem::remove(path);
    root.write("jspvlm/tools/com-zet-kwo-ui-jspdebug/com/zet/kwo/jsp/ui/runPause.properties",
               "RunPause=true\n");
    EXPECT_TRUE(settings.getIsRunPause());
}

TEST_F(SettingsTest, AFailedWriteKeepsWhatWasThereAndSaysSo) {
    // A directory in the place of each file makes the replacement fail, whoever runs the test.
    std::filesystem::create_directories(settings.monitorStatusPath() + "/keep");
    std::filesystem::create_directories(settings.runPausePath() + "/keep");
    CaptureStdout();
    EXPECT_FALSE(settings.saveIsMonitorWindowExists(false));
    EXPECT_FALSE(settings.saveIsRunPause(true));
    std::string out = GetCapturedStdout();
    EXPECT_TRUE(std::filesystem::is_directory(settings.monitorStatusPath() + "/keep"));
    EXPECT_NE(out.find("Error: Cannot write to the property file " + settings.monitorStatusPath() +
                       "\nJSP monitor status will not be changed."),
              std::string::npos);
    EXPECT_NE(out.find("Error: Cannot write to the property file "
                       "/com/zet/kwo/jsp/ui/runPause.properties\nThe run "
                       "pause flag will not be changed."),
              std::string::npos);
    EXPECT_EQ(dialogs, std::vector<std::string>{"# comment for E-FileWriteFailed"})
        << "the monitor status failure shows the dialog, the run pause failure does not";
    int leftovers = 0;
    for (const auto& e : std::filesystem::directory_iterator(program + "/com/zet/kwo/jsp/ui"))
        leftovers += e.path().filename().string().front() == '.';
    EXPECT_EQ(leftovers, 0) << "no temporary file is left behind";
}

TEST_F(SettingsTest, AMissingSettingsDirectoryIsAFailedWriteNotACrash) {
    MonitorSettings nowhere(root.str() + "/no/such/dir", root.str() + "/no/bin", nullptr);
    CaptureStdout();
    EXPECT_FALSE(nowhere.saveCurrentDebugMode(DebugSettings{}));
    EXPECT_NE(GetCapturedStdout().find(
                  "Error: Cannot write to the property file jspdebug.properties\nJSP debug "
                  "flag and syntax error flag will not be changed."),
              std::string::npos);
    EXPECT_EQ(dialogs.size(), 1u);
}

TEST_F(SettingsTest, AnInstallForUsersKeepsEverySettingInTheUsersFolder) {
    testsupport::ScopedEnvironment xdg("XDG_CONFIG_HOME", root.str() + "/config");
    root.write("jspvlm/tools/com-zet-kwo-ui-jspdebug/user.settings", "");
    root.write("jspvlm/tools/com-zet-kwo-ui-jspdebug/jspdebug.properties", "port=9300\n");
    const std::string user = root.str() + "/config/tracewin";
    MonitorSettings mine(program, root.str() + "/jspvlm/nqc/bin",
                         [](std::string_view key) { return "# " + std::string(key); });
    EXPECT_EQ(mine.programDir(), user);

    // Both readers of the debug settings find the user's copy of the defaults.
    EXPECT_EQ(mine.getConnectPort(), std::optional<int>(9300));
    EXPECT_EQ(mine.displaySettings().port, 9300);
    ASSERT_TRUE(mine.saveCurrentDebugMode(DebugSettings{9301, true, true, false}));
    EXPECT_EQ(mine.debugSettingsPath(), user + "/jspdebug.properties");
    EXPECT_EQ(mine.debugSettingsPathFromRuntime(), user + "/jspdebug.properties");
    EXPECT_EQ(mine.getConnectPort(), std::optional<int>(9301));

    // The flag files go there too, into a folder made for them.
    EXPECT_TRUE(mine.saveIsRunPause(true));
    EXPECT_TRUE(mine.saveAnimationDelayMs(40));
    EXPECT_TRUE(mine.getIsRunPause());
    EXPECT_EQ(mine.getAnimationDelayMs(), 40);
    EXPECT_TRUE(std::filesystem::exists(user + "/com/zet/kwo/jsp/ui/runPause.properties"));

    // The install keeps what was installed, and nothing more.
    EXPECT_EQ(testsupport::readFile(program + "/jspdebug.properties"), "port=9300\n");
    EXPECT_FALSE(std::filesystem::exists(program + "/com/zet/kwo/jsp/ui/runPause.properties"));
    EXPECT_TRUE(dialogs.empty());
}

} // namespace
