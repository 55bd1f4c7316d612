#include "panekit/abstractmodel.h"
#include "panekit/application.h"
#include "panekit/cellcontainer.h"
#include "panekit/profile.h"
#include "testsupport.h"

#include <QDir>
#include <gtest/gtest.h>

using namespace panekit;
using paneltest::Journal;
using paneltest::TestApplication;

namespace {

std::string captured(const std::function<void()>& run) {
    testing::internal::CaptureStdout();
    run();
    return testing::internal::GetCapturedStdout();
}

TEST(ApplicationRegistry, SameKeySameApplication) {
    Application* a = Application::getApplication("registry-a");
    EXPECT_EQ(Application::getApplication("registry-a"), a);
    EXPECT_EQ(Application::getApplication(), a); // the most recent one
    Application* b = Application::getApplication("registry-b");
    EXPECT_NE(a, b);
    EXPECT_EQ(b->getKey(), "registry-b");
    EXPECT_EQ(Application::findApplication("registry-none"), nullptr);
    const QString key = Application::getUniqueKey();
    EXPECT_TRUE(key.startsWith("PanekitAppKey@"));
    EXPECT_NE(Application::getUniqueKey(), key);
}

TEST(ApplicationResources, MissingBundleGivesEmptyTexts) {
    TestApplication t;
    t.app->setResourceFileName("Absent");
    std::string out = captured([&] { EXPECT_EQ(t.app->getString("L-TITLE"), ""); });
    EXPECT_EQ(out, "Cannot load Absent.properties\n");
}

TEST(ApplicationResources, MissingKeyGivesQuestionMark) {
    TestApplication t;
    ASSERT_TRUE(
        paneltest::writeFile(t.path("Labels.properties"), "L-TITLE=Monitor\nMFile=&File\n"));
    t.app->setResourceFileName("Labels");
    EXPECT_EQ(t.app->getString("L-TITLE"), "Monitor");
    std::string out = captured([&] { EXPECT_EQ(t.app->getString("L-NONE"), "?"); });
    EXPECT_EQ(out, "Resource L-NONE: Can't find resource for bundle Labels, key L-NONE\n");
    t.app->setInformMissing(false);
    out = captured([&] { EXPECT_EQ(t.app->getString("L-NONE"), "?"); });
    EXPECT_EQ(out, "");
}

TEST(ApplicationProfiles, SavedWithHeadersAndReadBack) {
    TestApplication t;
    t.app->getProfile().set("pane.width", "300");
    t.app->getProfile().set("odd key=x", " value with\nline end \\ and # mark");
    t.app->getSystemProfile().set("Frame.main", "1,2,3,4");
    ASSERT_TRUE(t.app->saveProfile());
    ASSERT_TRUE(t.app->saveSystemProfile());
    EXPECT_TRUE(paneltest::readFile(t.path("Panes.ini")).startsWith("# Pane settings\n"));
    EXPECT_TRUE(paneltest::readFile(t.path("System.ini")).startsWith("# System settings\n"));

    Profile back;
    ASSERT_TRUE(back.load(t.path("Panes.ini")));
    EXPECT_EQ(back.value("pane.width"), "300");
    EXPECT_EQ(back.value("odd key=x"), " value with\nline end \\ and # mark");
    EXPECT_EQ(back.keys().size(), 2);

    Profile edited = Profile::parse("# comment\n  a = 1\nb:2\n\n! other\nc=\n");
    EXPECT_EQ(edited.value("a"), "1");
    EXPECT_EQ(edited.value("b"), "2");
    EXPECT_TRUE(edited.contains("c"));
    EXPECT_EQ(edited.keys().size(), 3);
}

TEST(ApplicationProfiles, InitializeReadsTheSystemProfileFromTheProtectedHomeAsFallback) {
    TestApplication t;
    QTemporaryDir shipped;
    ASSERT_TRUE(
        paneltest::writeFile(QDir(shipped.path()).filePath("System.ini"), "Frame.x=5,6,7,8\n"));
    ASSERT_TRUE(paneltest::writeFile(QDir(shipped.path()).filePath("Panes.ini"), "k=shipped\n"));
    t.app->setProtectedHome(shipped.path());
    t.app->initialize();
    EXPECT_EQ(t.app->getSystemProfile().value("Frame.x"), "5,6,7,8");
    EXPECT_TRUE(t.app->loadProfile());
    EXPECT_EQ(t.app->getProfile().value("k"), "shipped");
    // The user's own copy wins once it exists.
    ASSERT_TRUE(paneltest::writeFile(t.path("Panes.ini"), "k=mine\n"));
    EXPECT_TRUE(t.app->loadProfile());
    EXPECT_EQ(t.app->getProfile().value("k"), "mine");
}

TEST(ApplicationConfigurations, ReadFromTheConfiguredDirectoryAndSuffix) {
    TestApplication t;
    ASSERT_TRUE(QDir(t.home.path()).mkpath("conf"));
    ASSERT_TRUE(paneltest::writeFile(t.path("Application.properties"),
                                     "ConfigurationDir=conf\nConfigurationSuffix=.pk\n"));
    ASSERT_TRUE(paneltest::writeFile(t.path("conf/default.pk"), "page P {} d n { k = v }"));
    EXPECT_EQ(t.app->getConfigurationSuffix(), ".pk");
    const Configuration* c = t.app->getCurrentConfiguration(); // no working copy: the default
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->name, "default");
    EXPECT_NE(c->findPage("P"), nullptr);
    ASSERT_NE(t.app->getDataBlock("d", "n"), nullptr);
    EXPECT_EQ(t.app->getDataBlock("d", "n")->params.value("k").toString(), "v");
    EXPECT_EQ(t.app->getConfiguration("default"), c);

    // Exiting keeps the configuration in use as the working copy.
    t.app->exitApplication(0);
    EXPECT_EQ(paneltest::readFile(t.path("conf/working.pk")), "page P {} d n { k = v }");
}

TEST(ApplicationConfigurations, DefaultSuffixAndProtectedHome) {
    TestApplication t;
    QTemporaryDir shipped;
    ASSERT_TRUE(paneltest::writeFile(QDir(shipped.path()).filePath("default.cfg"), "page S {}"));
    t.app->setProtectedHome(shipped.path());
    t.app->setInformMissing(false);
    EXPECT_EQ(t.app->getConfigurationSuffix(), ".cfg");
    const Configuration* c = t.app->getCurrentConfiguration();
    ASSERT_NE(c, nullptr);
    EXPECT_NE(c->findPage("S"), nullptr);
}

TEST(ApplicationConfigurations, CorruptedWorkingCopyIsReportedAndTheDefaultUsed) {
    TestApplication t;
    ASSERT_TRUE(paneltest::writeFile(t.path("working.cfg"), "page W {\n pane"));
    ASSERT_TRUE(paneltest::writeFile(t.path("default.cfg"), "page D {}"));
    const Configuration* c = nullptr;
    const std::string out = captured([&] { c = t.app->getCurrentConfiguration(); });
    ASSERT_NE(c, nullptr);
    EXPECT_NE(c->findPage("D"), nullptr);
    const std::string where = t.path("working.cfg").toStdString();
    EXPECT_NE(out.find(where + ", 2: Unexpected end-of-file\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Error: Working configuration is corrupted\n"), std::string::npos);
}

TEST(ApplicationConfigurations, CurrentNameComesFromTheProfile) {
    TestApplication t;
    ASSERT_TRUE(paneltest::writeFile(t.path("Panes.ini"), "_PanekitCurrentConfiguration=mine\n"));
    ASSERT_TRUE(paneltest::writeFile(t.path("mine.cfg"), "page M {}"));
    ASSERT_TRUE(t.app->loadProfile());
    EXPECT_EQ(t.app->getCurrentConfigurationName(), "mine");
    ASSERT_NE(t.app->getCurrentConfiguration(), nullptr);
    EXPECT_NE(t.app->getCurrentConfiguration()->findPage("M"), nullptr);

    ASSERT_TRUE(paneltest::writeFile(t.path("other.cfg"), "page O {}"));
    EXPECT_TRUE(t.app->setCurrentConfiguration("other"));
    EXPECT_EQ(t.app->getProfile().value("_PanekitCurrentConfiguration"), "other");
    EXPECT_FALSE(t.app->setCurrentConfiguration("absent"));
    EXPECT_EQ(t.app->getCurrentConfigurationName(), "other");
}

TEST(ApplicationConfigurations, SaveFailureIsReported) {
    TestApplication t;
    ASSERT_TRUE(paneltest::writeFile(t.path("default.cfg"), "page D {}"));
    ASSERT_TRUE(t.app->setCurrentConfiguration("default"));
    ASSERT_TRUE(QDir(t.home.path()).mkpath("working.cfg")); // a directory stands in the way
    const std::string out = captured([&] { EXPECT_FALSE(t.app->saveConfiguration()); });
    EXPECT_EQ(out, "Cannot save configuration to " + t.path("working.cfg").toStdString() + "\n");
}

TEST(ApplicationModels, CreatedOnceInstalledAndShutDown) {
    Journal::get().reset();
    TestApplication t;
    ASSERT_TRUE(t.useConfiguration(
        "models { plain : test.Model; default shared : test.Model; odd : no.Model; }"));
    const Configuration* c = t.app->getCurrentConfiguration();
    AbstractModel* plain = t.app->getModelInstance(*c->findModel("plain"));
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(t.app->getModelInstance(*c->findModel("plain")), plain);
    EXPECT_EQ(plain->getModelSupport()->getName(), "plain");
    EXPECT_FALSE(plain->getModelSupport()->isDefault());
    EXPECT_EQ(plain->getModelSupport()->getApplicationKey(), t.app->getKey());
    AbstractModel* shared = t.app->getDefaultModel();
    ASSERT_NE(shared, nullptr);
    EXPECT_TRUE(shared->getModelSupport()->isDefault());
    EXPECT_EQ(t.app->getDefaultModel(), shared);
    std::string out =
        captured([&] { EXPECT_EQ(t.app->getModelInstance(*c->findModel("odd")), nullptr); });
    EXPECT_EQ(out, "Cannot create model odd: unknown class no.Model\n");

    t.app->exitApplication(0);
    EXPECT_EQ(Journal::get().calls,
              (std::vector<std::string>{"plain:install", "shared:install",
                                        "plain:applicationExiting", "plain:uninstall",
                                        "shared:applicationExiting", "shared:uninstall"}));
}

TEST(ApplicationExit, SavesThenEndsWithTheCode) {
    TestApplication t;
    t.app->getProfile().set("k", "v");
    t.app->exit(3);
    EXPECT_EQ(t.exits, std::vector<int>{3});
    EXPECT_TRUE(QFile::exists(t.path("Panes.ini")));
    EXPECT_TRUE(QFile::exists(t.path("System.ini")));
}

TEST(CellContainerLayout, PlacesComponentsInCells) {
    paneltest::ensureQtApplication();
    CellContainer cells;
    auto* a = new QLabel("a");
    auto* b = new QLabel("b");
    cells.setInsets(4, 4, 4, 4);
    cells.addToCell(a, 0, 0);
    cells.setWeight(1, 0);
    cells.setFill(CellContainer::Fill::HORIZONTAL);
    cells.addToCell(b, 1, 0, 2, 1);
    cells.resize(400, 100);
    cells.show();
    QCoreApplication::processEvents();
    EXPECT_LT(a->mapTo(&cells, QPoint()).x(), b->mapTo(&cells, QPoint()).x());
    EXPECT_GT(b->width(), 200); // the weighted, filling cell takes the room
    EXPECT_GE(a->mapTo(&cells, QPoint()).x(), 4);
}

} // namespace
