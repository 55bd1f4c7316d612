#include "app/commandaction.h"
#include "app/splitpagecontroller.h"
#include "core/breakpoints.h"
#include "core/record.h"
#include "panekit/application.h"
#include "panekit/menudata.h"
#include "panekit/toolbarcontribution.h"
#include "panekit/workbookframe.h"
#include "support/tempdir.h"
#include "views/eventlogview.h"
#include "views/monitorevents.h"

#include <QFile>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>

using namespace tracewin;
using tracehook::JspSourceInfo;

namespace {

// The connection controller's place: records what the page sends up and lets the test
// send events down.
class ParentRecorder : public panekit::Tool {
public:
    ParentRecorder() {
        onLinkEvent<panekit::LinkEvent>(
            [this](const panekit::LinkEvent& e) { up << EventLogView::describe(e); });
    }
    QStringList getLinkEventNames() const override {
        return {StartupEvent::kindKey(), HighlightEvent::kindKey(), HtmlEvent::kindKey(),
                ClientExitEvent::kindKey(), SwitchJspFileFromServletEvent::kindKey()};
    }
    QStringList up;
};

// A view of the page that can fire the kinds views fire.
class ViewRecorder : public EventLogView {
public:
    QStringList getLinkEventNames() const override {
        return {ResumeEvent::kindKey(),        SetBreakpointEvent::kindKey(),
                SwitchJspFileEvent::kindKey(), ChangeButtonStateEvent::kindKey(),
                SendStateEvent::kindKey(),     RestartConnectionEvent::kindKey()};
    }
};

const char* kConfiguration = R"(
tools { nonvisual parent : test.Parent; nonvisual split : com.zet.kwo.jsp.ui.SplitPageController; viewer : test.View; }
page Main { controller control link pane1 : split; pane pane1 1000 link control view viewer; }
workbook Book { controller top : parent; page Main; }
)";

class SplitPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        app = panekit::Application::getApplication(panekit::Application::getUniqueKey());
        app->setHome(QString::fromStdString(home.str()));
        app->getPartsFactory().registerTool<ParentRecorder>(QStringLiteral("test.Parent"));
        app->getPartsFactory().registerTool<ViewRecorder>(QStringLiteral("test.View"));
        app->getPartsFactory().registerTool<SplitPageController>(
            QStringLiteral("com.zet.kwo.jsp.ui.SplitPageController"));
        home.write("test.cfg", kConfiguration);
        std::filesystem::copy_file(std::filesystem::path(TRACEWIN_RESOURCES) /
                                       "monitor/ui/Monitor.properties",
                                   home.path() / "Application.properties");
        ASSERT_TRUE(app->setCurrentConfiguration(QStringLiteral("test")));
        frame = new panekit::WorkbookFrame(QStringLiteral("Book"));
        frame->setApplicationKey(app->getKey());
        ASSERT_TRUE(frame->buildWorkbook());
        frame->applyToAllTools([this](panekit::Tool& t) {
            if (auto* p = dynamic_cast<ParentRecorder*>(&t))
                parent = p;
            if (auto* s = dynamic_cast<SplitPageController*>(&t))
                split = s;
            if (auto* v = dynamic_cast<ViewRecorder*>(&t))
                view = v;
        });
        ASSERT_TRUE(parent && split && view);
        // Every event reaches its tool before fire returns: no turn of the loop to wait for.
        frame->applyToAllTools([](panekit::Tool& t) { t.setSynchronousDispatch(true); });
        std::filesystem::create_directories(settingsDir.path() / "com/zet/kwo/jsp/ui");
        split->setSession(std::make_shared<DebugSession>(files));
    }
    void TearDown() override {
        delete frame;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    void down(panekit::LinkEventPtr e) { parent->fireChildrenLinkEvent(std::move(e)); }
    void fromView(panekit::LinkEventPtr e) { view->fireLinkEvent(std::move(e)); }
    int state() const { return split->session().currentState(); }
    static Record fileRecord(const std::string& id, bool compileError = false) {
        return std::make_shared<const JspSourceInfo>(
            id, "/p/" + id + ".jsp", std::optional<std::string>("/w/x.java"), compileError);
    }
    std::string flags() const {
        return split->buttonStates().toString().substr(split->buttonStates().toString().find(' ') +
                                                       1);
    }

    testsupport::TempDir home, settingsDir;
    MonitorSettings files{settingsDir.str(), settingsDir.str(), [](std::string_view) {
                              return "#";
                          }};
    panekit::Application* app = nullptr;
    panekit::WorkbookFrame* frame = nullptr;
    ParentRecorder* parent = nullptr;
    SplitPageController* split = nullptr;
    ViewRecorder* view = nullptr;
};

TEST_F(SplitPageTest, StepAnnouncesTheStateAndResumesWithZero) {
    split->step();
    EXPECT_EQ(view->lines(), QStringList{"ChangeCurrentStateEvent: 0"});
    EXPECT_EQ(parent->up, QStringList{"ResumeEvent: 0"});
    EXPECT_EQ(state(), States::STEP);
}

TEST_F(SplitPageTest, StepWhileRunningOnlyPauses) {
    split->session().setCurrentState(States::RUN);
    split->step();
    EXPECT_TRUE(parent->up.isEmpty());
    EXPECT_TRUE(view->lines().isEmpty());
    EXPECT_EQ(state(), States::RUN);
    EXPECT_TRUE(split->session().pauseRequested());
    EXPECT_TRUE(files.getIsRunPause()) << "the request is written for other programs";
}

TEST_F(SplitPageTest, RunAndFastForwardSetTheAnimationAndResumeOnce) {
    split->run();
    EXPECT_FALSE(files.getIsSkipRunAnimation());
    EXPECT_EQ(parent->up, QStringList{"ResumeEvent: 1"});
    EXPECT_EQ(flags(), "TTTTFF]");
    split->session().setCurrentState(States::RUN);
    split->fastForward();
    EXPECT_TRUE(files.getIsSkipRunAnimation());
    EXPECT_EQ(parent->up, QStringList{"ResumeEvent: 1"}) << "no second resume while running";
}

TEST_F(SplitPageTest, TerminateExitAndTheErrorWalkGoUp) {
    split->terminate();
    split->exitMonitor();
    split->prevErr();
    split->nextErr();
    EXPECT_EQ(parent->up,
              (QStringList{"ClientExitEvent: 8", "ExitEvent", "PrevErrEvent", "NextErrEvent"}));
    EXPECT_EQ(view->lines(),
              (QStringList{"ChangeCurrentStateEvent: 2", "ChangeCurrentStateEvent: 2",
                           "ChangeCurrentStateEvent: 4", "ChangeCurrentStateEvent: 5"}));
    EXPECT_EQ(flags(), "FFFFFF]");
}

TEST_F(SplitPageTest, AViewsResumeCarriesTheCurrentState) {
    fromView(std::make_shared<ResumeEvent>(view));
    split->session().setCurrentState(States::RUN);
    fromView(std::make_shared<ResumeEvent>(view));
    EXPECT_EQ(parent->up, (QStringList{"ResumeEvent: 0", "ResumeEvent: 1"}));
}

TEST_F(SplitPageTest, StartupSetsTheButtonsByRecordKind) {
    down(std::make_shared<StartupEvent>(parent, QString(), std::any(fileRecord("3"))));
    EXPECT_EQ(flags(), "TTTTFF]");
    EXPECT_EQ(split->currentFileId(), 3);
    EXPECT_EQ(view->lines().size(), 1);
    down(std::make_shared<StartupEvent>(parent, QString(), std::any(fileRecord("4", true))));
    EXPECT_EQ(flags(), "FFFTFT]");
    down(std::make_shared<StartupEvent>(static_cast<const panekit::Tool*>(parent)));
    EXPECT_EQ(flags(), "FFFFFF]");
}

TEST_F(SplitPageTest, BreakpointsGetTheCurrentFileId) {
    down(std::make_shared<StartupEvent>(parent, QString(), std::any(fileRecord("7"))));
    fromView(
        std::make_shared<SetBreakpointEvent>(view, QString(), std::any(BreakpointInfo(12, true))));
    ASSERT_EQ(parent->up.size(), 1);
    EXPECT_EQ(parent->up[0], "SetBreakpointEvent: line 12 set");
}

TEST_F(SplitPageTest, AClientExitWithARecordHighlightsBeforeTheButtonsGoOff) {
    down(std::make_shared<StartupEvent>(parent, QString(), std::any(fileRecord("2"))));
    Record abnormal = std::make_shared<const JspSourceInfo>(
        JspSourceInfo::ABNORMAL_CLIENT_EXIT_COMMAND, "2", 10, 4, 1, 5, 3, "boom");
    down(std::make_shared<ClientExitEvent>(parent, QString(), std::any(abnormal)));
    ASSERT_GE(view->lines().size(), 3);
    EXPECT_TRUE(view->lines()[1].startsWith("HighlightEvent")) << view->lines()[1].toStdString();
    EXPECT_TRUE(view->lines()[2].startsWith("ClientExitEvent"));
    EXPECT_EQ(flags(), "FFFFFF]");
}

TEST_F(SplitPageTest, SwitchesKeepEachPagesButtons) {
    down(std::make_shared<StartupEvent>(parent, QString(), std::any(fileRecord("1"))));
    down(std::make_shared<StartupEvent>(parent, QString(), std::any(fileRecord("2", true))));
    EXPECT_EQ(flags(), "FFFTFT]");
    fromView(std::make_shared<SwitchJspFileEvent>(view, QString(), std::any(1)));
    EXPECT_EQ(flags(), "TTTTFF]") << "the snapshot of page 1 comes back";
    EXPECT_EQ(parent->up.back(), "SwitchJspFileEvent: 1");
    fromView(std::make_shared<SwitchJspFileEvent>(view, QString(), std::any(9)));
    EXPECT_EQ(flags(), "TTTTFF]") << "a page never saved leaves the buttons";
}

TEST_F(SplitPageTest, ARuntimeSwitchToTheCurrentPageKeepsTheButtonsAndStillReFires) {
    down(std::make_shared<StartupEvent>(parent, QString(), std::any(fileRecord("5"))));
    split->setButtonStates(true, false, true, false, true, false);
    view->clearLines();
    Record sw =
        std::make_shared<const JspSourceInfo>(JspSourceInfo::SWITCH_FILE_INFO, "5", 12, 3, 1, 3, 9);
    down(std::make_shared<SwitchJspFileFromServletEvent>(parent, QString(), std::any(sw)));
    EXPECT_EQ(flags(), "TFTFTF]");
    EXPECT_EQ(view->lines(), (QStringList{"SwitchJspFileEvent: 5",
                                          "HighlightEvent: file 5, type 2, java 12, jsp 3:1-3:9"}));
    Record noPosition =
        std::make_shared<const JspSourceInfo>(JspSourceInfo::SWITCH_FILE_INFO, "5", 0, 0, 0, 0, 0);
    view->clearLines();
    down(std::make_shared<SwitchJspFileFromServletEvent>(parent, QString(), std::any(noPosition)));
    EXPECT_EQ(view->lines(), QStringList{"SwitchJspFileEvent: 5"});
}

TEST_F(SplitPageTest, TheAnswerToTheUsersSwitchShowsThatPageAgainAsNoNewStop) {
    down(std::make_shared<StartupEvent>(parent, QString(), std::any(fileRecord("1"))));
    down(std::make_shared<StartupEvent>(parent, QString(), std::any(fileRecord("2"))));
    fromView(std::make_shared<SwitchJspFileEvent>(view, QString(), std::any(1)));
    view->clearLines();
    Record sw =
        std::make_shared<const JspSourceInfo>(JspSourceInfo::SWITCH_FILE_INFO, "1", 12, 3, 1, 3, 9);
    down(std::make_shared<SwitchJspFileFromServletEvent>(parent, kShownAgain, QString(),
                                                         std::any(sw)));
    EXPECT_EQ(view->lines(),
              (QStringList{"SwitchJspFileEvent: 1",
                           "HighlightEvent (shown again): file 1, type 2, java 12, jsp 3:1-3:9"}));

    // The page comes back to page 2 by itself: a stop there.
    view->clearLines();
    Record back =
        std::make_shared<const JspSourceInfo>(JspSourceInfo::SWITCH_FILE_INFO, "2", 20, 5, 1, 5, 4);
    down(std::make_shared<SwitchJspFileFromServletEvent>(parent, QString(), std::any(back)));
    EXPECT_EQ(view->lines(), (QStringList{"SwitchJspFileEvent: 2",
                                          "HighlightEvent: file 2, type 2, java 20, jsp 5:1-5:4"}));
}

TEST_F(SplitPageTest, OnlyAChangeButtonStateEnablesPreviousErrorAndAStepStateForcesTheButtons) {
    fromView(std::make_shared<ChangeButtonStateEvent>(
        view, QString(), std::any(ButtonStates(false, false, false, true, true, true))));
    EXPECT_EQ(flags(), "FFFTTT]");
    split->setButtonStates(false, false, false, false, false, false);
    testing::internal::CaptureStdout();
    fromView(
        std::make_shared<SendStateEvent>(view, QString(), std::any(&split->session().states())));
    EXPECT_NE(
        testing::internal::GetCapturedStdout().find("SplitPageController forced button states: "),
        std::string::npos);
    EXPECT_EQ(flags(), "TTTTFF]");
}

TEST_F(SplitPageTest, MenusHoldTheCommandsInOrderWithTheirKeys) {
    split->setButtonStates(true, true, true, true, true, true);
    panekit::MenuContribution* menus = split->getMenuContribution();
    ASSERT_TRUE(menus);
    ASSERT_EQ(menus->getMenuDataCount(), 3);
    panekit::MenuData* actions = menus->getMenuData(0);
    EXPECT_EQ(actions->getLabel(), "Action");
    EXPECT_EQ(actions->getPriority(), -1);
    std::vector<std::pair<QString, QString>> items;
    for (const auto& entry : actions->getItems()) {
        auto* item = dynamic_cast<panekit::MenuItemData*>(entry.get());
        ASSERT_TRUE(item);
        items.emplace_back(item->getLabel(), item->getAccelerator().toString());
    }
    EXPECT_EQ(items, (std::vector<std::pair<QString, QString>>{{"Step", "F6"},
                                                               {"Run", "F8"},
                                                               {"Fast forward", "Shift+F8"},
                                                               {"Terminate", "Ctrl+F2"}}));
    panekit::MenuData* errors = menus->getMenuData(1);
    EXPECT_EQ(errors->getLabel(), "Syntax errors");
    EXPECT_EQ(errors->getPriority(), 0);
    auto* prev = dynamic_cast<panekit::MenuItemData*>(errors->getItems()[0].get());
    auto* next = dynamic_cast<panekit::MenuItemData*>(errors->getItems()[1].get());
    ASSERT_TRUE(prev && next);
    EXPECT_EQ(prev->getAccelerator().toString(), "Shift+F4");
    EXPECT_EQ(next->getAccelerator().toString(), "F4");
    EXPECT_EQ(menus->getMenuData(2)->getLabel(), "File")
        << "Preferences are reachable from the File menu";
    EXPECT_EQ(flags(), "FFFTFF]") << "contributing disables all but Terminate";
    EXPECT_FALSE(split->action(SplitPageController::Step)->isEnabled());
    EXPECT_TRUE(split->action(SplitPageController::Terminate)->isEnabled());
    EXPECT_EQ(split->getMenuContribution(), menus) << "contributed once";
}

TEST_F(SplitPageTest, TheToolBarHasSixButtonsBoundToTheCommands) {
    panekit::ToolBarContribution* bar = split->getToolBarContribution();
    ASSERT_TRUE(bar);
    ASSERT_EQ(bar->getComponentCount(), 6);
    const std::vector<std::pair<QString, SplitPageController::Command>> expected = {
        {"MiStep", SplitPageController::Step},
        {"MiRun", SplitPageController::Run},
        {"MiFastForward", SplitPageController::FastForward},
        {"MiTerminate", SplitPageController::Terminate},
        {"MiPrevErr", SplitPageController::PrevErr},
        {"MiNextErr", SplitPageController::NextErr}};
    for (int i = 0; i < 6; ++i) {
        auto* button = dynamic_cast<panekit::ToolBarButtonData*>(bar->getComponentData(i));
        ASSERT_TRUE(button);
        EXPECT_EQ(button->getActionCommand(), expected[size_t(i)].first);
        EXPECT_EQ(button->getAction(), split->action(expected[size_t(i)].second));
        EXPECT_TRUE(button->isShowText());
        EXPECT_FALSE(button->getTooltip().isEmpty());
    }
    EXPECT_EQ(dynamic_cast<panekit::ToolBarButtonData*>(bar->getComponentData(0))->getName(),
              "Step");
}

TEST_F(SplitPageTest, ChoosingAnActionRunsItsCommandOnTheUserInterfaceThread) {
    split->setButtonStates(true, true, true, true, false, false);
    split->action(SplitPageController::Step)->processAction(QStringLiteral("MiStep"));
    EXPECT_TRUE(parent->up.isEmpty()) << "the command runs later, not inside the click";
    ASSERT_TRUE(QTest::qWaitFor([&] { return !parent->up.isEmpty(); }, 5000));
    EXPECT_EQ(parent->up, QStringList{"ResumeEvent: 0"});
}

} // namespace
