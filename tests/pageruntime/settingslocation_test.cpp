// Where the monitor's settings live for a user: in a writable install itself, else in the
// user's own folder, made from the installed defaults and never overwritten.
#include "support/scopedenvironment.h"
#include "support/tempdir.h"
#include "tracehook/settingslocation.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;
using tracehook::SettingsLocation;

namespace {

namespace fs = std::filesystem;

// A monitor install folder with its debug settings file, and a configuration home of the
// user's that starts out empty.
class SettingsLocationTest : public ::testing::Test {
protected:
    SettingsLocationTest()
        : install(dir.path() / "jspvlm/tools/com-zet-kwo-ui-jspdebug"),
          configHome(dir.path() / "config"), xdg("XDG_CONFIG_HOME", configHome.string()) {
        dir.write("jspvlm/tools/com-zet-kwo-ui-jspdebug/jspdebug.properties", "port=9000\n");
    }
    void markForUsers() const {
        dir.write("jspvlm/tools/com-zet-kwo-ui-jspdebug/user.settings", "#\n");
    }
    fs::path userFolder() const { return configHome / "tracewin"; }
    std::string userFile() const { return (userFolder() / "jspdebug.properties").string(); }

    testsupport::TempDir dir;
    fs::path install;
    fs::path configHome;
    testsupport::ScopedEnvironment xdg;
};

TEST_F(SettingsLocationTest, AWritableInstallKeepsItsOwnSettings) {
    EXPECT_EQ(SettingsLocation::settingsDirectory(install.string()), install.string());
    EXPECT_EQ(SettingsLocation::debugSettingsFile(install.string()),
              (install / "jspdebug.properties").string());
    EXPECT_FALSE(SettingsLocation::belongsToUser(install.string()));
    EXPECT_FALSE(fs::exists(userFolder())) << "nothing is made for a writable install";

    // A folder that does not exist is not moved elsewhere either: its files are missing.
    const std::string absent = (dir.path() / "absent").string();
    EXPECT_EQ(SettingsLocation::settingsDirectory(absent), absent);
    EXPECT_FALSE(fs::exists(userFolder()));
}

TEST_F(SettingsLocationTest, AMarkedInstallGivesEachUserACopyThatIsNeverReplaced) {
    markForUsers();
    EXPECT_TRUE(SettingsLocation::belongsToUser(install.string()));
    EXPECT_EQ(SettingsLocation::settingsDirectory(install.string()), userFolder().string());
    EXPECT_EQ(SettingsLocation::debugSettingsFile(install.string()), userFile());
    EXPECT_EQ(testsupport::readFile(userFile()), "port=9000\n");

    // The user's change stays, also when an upgrade brings other defaults.
    dir.write("config/tracewin/jspdebug.properties", "port=9100\nDebugModeOn=true\n");
    dir.write("jspvlm/tools/com-zet-kwo-ui-jspdebug/jspdebug.properties", "port=9200\n");
    EXPECT_EQ(SettingsLocation::debugSettingsFile(install.string()), userFile());
    EXPECT_EQ(testsupport::readFile(userFile()), "port=9100\nDebugModeOn=true\n");
    EXPECT_EQ(testsupport::readFile((install / "jspdebug.properties").string()), "port=9200\n");

    // A file the user removed comes back from the defaults; the folder holds nothing else.
    fs::remove(userFile());
    EXPECT_EQ(SettingsLocation::debugSettingsFile(install.string()), userFile());
    EXPECT_EQ(testsupport::readFile(userFile()), "port=9200\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(userFolder()), fs::directory_iterator()), 1);
    struct stat st {};
    ASSERT_EQ(::stat(userFile().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);

    // Asked again from a path that names the same folder otherwise, the answer is the same.
    const std::string roundabout = (install / "../com-zet-kwo-ui-jspdebug/").string();
    EXPECT_EQ(SettingsLocation::debugSettingsFile(roundabout), userFile());
}

TEST_F(SettingsLocationTest, TheUsersFolderFollowsXdgConfigHomeElseHome) {
    markForUsers();
    testsupport::ScopedEnvironment home("HOME", (dir.path() / "home").string());
    EXPECT_EQ(SettingsLocation::userDirectory(), userFolder().string());
    for (const std::optional<std::string>& unusable :
         {std::optional<std::string>(), std::optional<std::string>(""),
          std::optional<std::string>("relative/config")}) {
        testsupport::ScopedEnvironment xdgOther("XDG_CONFIG_HOME", unusable);
        EXPECT_EQ(SettingsLocation::userDirectory(),
                  (dir.path() / "home/.config/tracewin").string());
    }
    testsupport::ScopedEnvironment noXdg("XDG_CONFIG_HOME", std::nullopt);
    EXPECT_EQ(SettingsLocation::settingsDirectory(install.string()),
              (dir.path() / "home/.config/tracewin").string());
    EXPECT_EQ(
        testsupport::readFile((dir.path() / "home/.config/tracewin/jspdebug.properties").string()),
        "port=9000\n");
}

TEST_F(SettingsLocationTest, AUsersFolderThatCannotBeMadeLeavesTheDefaultsReadable) {
    markForUsers();
    dir.write("config", "a file where the folder should be");
    CaptureStdout();
    const std::string chosen = SettingsLocation::settingsDirectory(install.string());
    const std::string out = GetCapturedStdout();
    EXPECT_EQ(chosen, install.string());
    EXPECT_NE(out.find("Cannot make the settings folder " + userFolder().string()),
              std::string::npos)
        << out;
}

TEST_F(SettingsLocationTest, AnInstallTheUserCannotWriteToSendsSettingsToTheUsersFolder) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root may write to every folder; the marker file covers root";
    fs::permissions(install, fs::perms::owner_write, fs::perm_options::remove);
    EXPECT_TRUE(SettingsLocation::belongsToUser(install.string()));
    EXPECT_EQ(SettingsLocation::debugSettingsFile(install.string()), userFile());
    EXPECT_EQ(testsupport::readFile(userFile()), "port=9000\n");
    fs::permissions(install, fs::perms::owner_write, fs::perm_options::add);
}

} // namespace
