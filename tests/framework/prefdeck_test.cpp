#include "panekit/prefdeck.h"
#include "panekit/preferencenode.h"
#include "panekit/profile.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTreeWidget>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace panekit;

namespace {

std::vector<std::string>& calls() {
    static std::vector<std::string> c;
    return c;
}

// A page with one check box bound to the profile key of its title.
class CheckPage : public PreferenceNode {
public:
    explicit CheckPage(const char* title, bool system = false, bool failOnSave = false)
        : PreferenceNode(system), fail_(failOnSave) {
        setTitle(QString::fromLatin1(title));
        setDescription(QStringLiteral("About ") + getTitle());
    }
    QWidget* buildClient() override {
        calls().push_back(getTitle().toStdString() + ":build");
        box = new QCheckBox(getTitle());
        return box;
    }
    void displaySettings(Profile& profile) override {
        calls().push_back(getTitle().toStdString() + ":display");
        box->setChecked(profile.value(getTitle()) == "on");
    }
    void saveSettings(Profile& profile) override {
        calls().push_back(getTitle().toStdString() + ":save");
        if (fail_)
            throw std::runtime_error("disk full");
        profile.set(getTitle(), box->isChecked() ? "on" : "off");
    }
    void displayHelp() override { calls().push_back(getTitle().toStdString() + ":help"); }

    QPointer<QCheckBox> box;

private:
    bool fail_;
};

class PrefdeckTest : public testing::Test {
protected:
    static void SetUpTestSuite() { paneltest::ensureQtApplication(); }

    void SetUp() override {
        calls().clear();
        settings.set("General", "off");
        settings.set("Colours", "on");
        system.set("Network", "off");
        deck = std::make_unique<Prefdeck>(nullptr, QStringLiteral("Preferences"));
        deck->setSettings(std::any(&settings));
        deck->setSystemSettings(std::any(&system));
        general = static_cast<CheckPage*>(
            deck->addPreferenceNode(std::make_unique<CheckPage>("General")));
        colours = static_cast<CheckPage*>(
            deck->addPreferenceNode(general, std::make_unique<CheckPage>("Colours")));
        network = static_cast<CheckPage*>(
            deck->addPreferenceNode(std::make_unique<CheckPage>("Network", true)));
    }

    void press(QDialogButtonBox::StandardButton which) {
        deck->getButtons()->button(which)->click();
    }

    Profile settings;
    Profile system;
    std::unique_ptr<Prefdeck> deck;
    CheckPage* general = nullptr;
    CheckPage* colours = nullptr;
    CheckPage* network = nullptr;
};

TEST_F(PrefdeckTest, OkWithoutVisitingSavesOnlyTheFirstPage) {
    deck->showCentered();
    EXPECT_EQ(calls(), (std::vector<std::string>{"General:build", "General:display"}));
    EXPECT_EQ(deck->getSelectedNode(), general);
    calls().clear();
    press(QDialogButtonBox::Ok);
    EXPECT_EQ(calls(), (std::vector<std::string>{"General:save"}));
    EXPECT_FALSE(deck->isCanceled());
    EXPECT_FALSE(deck->isVisible());
    EXPECT_EQ(settings.value("Colours"), "on"); // never shown: untouched
}

TEST_F(PrefdeckTest, PagesAreBuiltOnceAndSavedChildrenFirstWithTheirOwnSettings) {
    deck->showCentered();
    deck->flipToNode(network);
    deck->flipToNode(colours);
    deck->getTree()->setCurrentItem(deck->getTree()->topLevelItem(1)); // Network again
    deck->flipToNode(colours);
    EXPECT_EQ(calls(),
              (std::vector<std::string>{"General:build", "General:display", "Network:build",
                                        "Network:display", "Colours:build", "Colours:display"}));
    EXPECT_TRUE(colours->box->isChecked());
    general->box->setChecked(true);
    network->box->setChecked(true);
    calls().clear();
    press(QDialogButtonBox::Help);
    press(QDialogButtonBox::Ok);
    EXPECT_EQ(calls(), (std::vector<std::string>{"Colours:help", "Colours:save", "General:save",
                                                 "Network:save"}));
    EXPECT_EQ(settings.value("General"), "on");
    EXPECT_EQ(system.value("Network"), "on"); // a system page saves into the system settings
    EXPECT_FALSE(settings.contains("Network"));
}

TEST_F(PrefdeckTest, CancelOrClosingSavesNothing) {
    deck->showCentered();
    deck->flipToNode(colours);
    general->box->setChecked(true);
    colours->box->setChecked(false);
    calls().clear();
    press(QDialogButtonBox::Cancel);
    EXPECT_TRUE(deck->isCanceled());
    EXPECT_TRUE(calls().empty());
    EXPECT_EQ(settings.value("General"), "off");
    EXPECT_EQ(settings.value("Colours"), "on");

    deck->showCentered();
    deck->close(); // the window's close box
    EXPECT_TRUE(deck->isCanceled());
    EXPECT_TRUE(calls().empty());
}

TEST_F(PrefdeckTest, FailingPageDoesNotKeepTheDialogOpen) {
    auto* bad = deck->addPreferenceNode(std::make_unique<CheckPage>("Broken", false, true));
    deck->showCentered();
    deck->flipToNode(bad);
    testing::internal::CaptureStderr();
    press(QDialogButtonBox::Ok);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("disk full"), std::string::npos);
    EXPECT_FALSE(deck->isVisible());
    EXPECT_EQ(settings.value("General"), "off"); // saved (unchanged) before the failing page

    // Removing a page drops its card; it can be shown again in another dialog.
    std::unique_ptr<PreferenceNode> removed = deck->removePreferenceNode(bad);
    ASSERT_NE(removed, nullptr);
    EXPECT_FALSE(removed->isAdded());
    EXPECT_EQ(removed->getClient(), nullptr);
    EXPECT_EQ(deck->getTree()->topLevelItemCount(), 2);
}

} // namespace
