#include "app/generalprefnode.h"
#include "panekit/prefdeck.h"
#include "support/tempdir.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>

using namespace tracewin;

namespace {

class PreferencesTest : public ::testing::Test {
protected:
    PreferencesTest()
        : program(root.str() + "/jspvlm/tools/com-zet-kwo-ui-jspdebug"),
          settings(program, root.str() + "/jspvlm/nqc/bin",
                   [](std::string_view) { return "# kept by the monitor"; }) {
        std::filesystem::create_directories(root.path() / "jspvlm/nqc/bin");
        std::filesystem::create_directories(program + "/com/zet/kwo/jsp/ui");
    }
    std::string settingsFile() const { return program + "/jspdebug.properties"; }
    void writeSettings(const std::string& text) {
        root.write("jspvlm/tools/com-zet-kwo-ui-jspdebug/jspdebug.properties", text);
    }
    void press(PreferenceMenu& menu, QDialogButtonBox::StandardButton which) {
        QPushButton* button = menu.dialog()->getButtons()->button(which);
        ASSERT_TRUE(button);
        QTest::mouseClick(button, Qt::LeftButton);
        QCoreApplication::processEvents();
    }
    template <class W> std::vector<W*> controls(PreferenceMenu& menu) {
        const QList<W*> found = menu.page()->getClient()->findChildren<W*>();
        return std::vector<W*>(found.begin(), found.end());
    }

    testsupport::TempDir root;
    std::string program;
    MonitorSettings settings;
};

TEST_F(PreferencesTest, OkRewritesTheSameValuesInTheCanonicalOrder) {
    writeSettings("SkipRunAnimation=false\nRetrieveSyntaxErr=true\nport=9001\nDebugModeOn=true\n");
    PreferenceMenu menu(nullptr, settings);
    menu.show(false);
    ASSERT_TRUE(menu.page()->getClient());
    EXPECT_EQ(menu.page()->values(), (DebugSettings{9001, true, true, false}));
    press(menu, QDialogButtonBox::Ok);
    EXPECT_EQ(testsupport::readFile(settingsFile()),
              "port=9001\nDebugModeOn=true\nRetrieveSyntaxErr=true\nSkipRunAnimation=false\n\n# "
              "kept by the monitor");
    EXPECT_FALSE(menu.dialog()->isCanceled());
}

TEST_F(PreferencesTest, CancelLeavesTheFileUntouched) {
    const std::string original = "port=8090\nDebugModeOn=false\n# a comment of the user\n";
    writeSettings(original);
    PreferenceMenu menu(nullptr, settings);
    menu.show(false);
    for (QCheckBox* box : controls<QCheckBox>(menu))
        box->setChecked(!box->isChecked());
    press(menu, QDialogButtonBox::Cancel);
    EXPECT_EQ(testsupport::readFile(settingsFile()), original);
    EXPECT_TRUE(menu.dialog()->isCanceled());
}

TEST_F(PreferencesTest, ThePortIsShownAndNeverChanged) {
    writeSettings("port=7777\nDebugModeOn=false\nRetrieveSyntaxErr=false\nSkipRunAnimation=true\n");
    PreferenceMenu menu(nullptr, settings);
    menu.show(false);
    for (QCheckBox* box : controls<QCheckBox>(menu))
        box->setChecked(true);
    press(menu, QDialogButtonBox::Ok);
    EXPECT_EQ(settings.displaySettings(), (DebugSettings{7777, true, true, true}));
    EXPECT_EQ(settings.getConnectPort(), std::optional<int>(7777));
}

TEST_F(PreferencesTest, AnUnreadableFileShowsTheDefaultsAndOkWritesAReadableOne) {
    PreferenceMenu menu(nullptr, settings);
    menu.show(false);
    EXPECT_EQ(menu.page()->values(), DebugSettings{});
    press(menu, QDialogButtonBox::Ok);
    EXPECT_EQ(settings.getConnectPort(), std::optional<int>(8082));
}

TEST_F(PreferencesTest, TheAnimationPauseHasItsOwnFile) {
    writeSettings("port=8082\n");
    PreferenceMenu menu(nullptr, settings);
    menu.show(false);
    std::vector<QSpinBox*> spins = controls<QSpinBox>(menu);
    ASSERT_EQ(spins.size(), 1u);
    EXPECT_EQ(spins[0]->value(), MonitorSettings::defaultAnimationDelayMs);
    spins[0]->setValue(400);
    press(menu, QDialogButtonBox::Ok);
    EXPECT_EQ(settings.getAnimationDelayMs(), 400);
    EXPECT_EQ(testsupport::readFile(settingsFile()).rfind("port=8082\nDebugModeOn=", 0), 0u)
        << "the debug settings keep exactly their four keys";
    root.write("jspvlm/tools/com-zet-kwo-ui-jspdebug/com/zet/kwo/jsp/ui/animationDelay.properties",
               "AnimationDelayMs=-5\n");
    EXPECT_EQ(settings.getAnimationDelayMs(), MonitorSettings::defaultAnimationDelayMs);
}

} // namespace
