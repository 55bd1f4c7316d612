#include "panekit/browserframemanager.h"
#include "panekit/managedworkbook.h"
#include "panekit/pagewidget.h"
#include "panekit/panecontext.h"
#include "panekit/paneframe.h"
#include "panekit/panemanager.h"
#include "panekit/toolpane.h"
#include "panekit/workbookframe.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QImage>
#include <QLabel>
#include <QSplitter>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace panekit;
using paneltest::Journal;

namespace {

const QByteArray configuration = R"(
tools { ctl : test.Recording; left : test.Recording; top : test.Recording;
        bottom : test.Bare; plain : test.NoTitle; wctl : test.Recording; lost : no.such.Class; }
page Main : "Main page" {
    controller c link left : ctl;
    hsplit 1000 {
        pane left 250 link top view left param title = "Left side";
        vsplit 750 {
            pane top 400 link left view top;
            pane bottom 600 link null view bottom;
        }
    }
}
page Second { pane only 1000 link null view plain; }
section Group { page Second : "Second again"; }
page Broken { pane gone 1000 link null view lost; }
page Loop { workbook inner 1000 link : Book; }
workbook Book { controller w : wctl; page Main; page Second : "Other"; page Group; }
)";

class FrameTest : public testing::Test {
protected:
    static void SetUpTestSuite() { paneltest::ensureQtApplication(); }

    void SetUp() override {
        Journal::get().reset();
        ASSERT_TRUE(app.useConfiguration(configuration));
    }

    void TearDown() override {
        for (const QPointer<BrowserFrame>& frame : made)
            delete frame.data();
        settle();
        EXPECT_EQ(BrowserFrameManager::getManager().getFrameCount(), 0);
    }

    // Every frame a test makes is deleted after it, shown or not.
    template <class F> F* track(F* frame) {
        frame->setApplicationKey(app.app->getKey());
        made.push_back(frame);
        return frame;
    }

    static void settle() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }

    PaneFrame* paneFrame(const QString& page, const QString& id) {
        auto* frame = track(new PaneFrame(page, id));
        frame->buildPanesForPage(page);
        return frame;
    }

    WorkbookFrame* workbookFrame(const QString& id) {
        auto* frame = track(new WorkbookFrame(QStringLiteral("Book"), id));
        frame->buildWorkbook();
        return frame;
    }

    paneltest::TestApplication app;
    std::vector<QPointer<BrowserFrame>> made;
};

void expectShares(const QSplitter* splitter, const QList<int>& ratios) {
    const QList<int> sizes = splitter->sizes();
    ASSERT_EQ(sizes.size(), ratios.size());
    int extent = 0;
    int ratioSum = 0;
    for (int i = 0; i < sizes.size(); ++i) {
        extent += sizes[i];
        ratioSum += ratios[i];
    }
    ASSERT_GT(extent, 0);
    for (int i = 0; i < sizes.size(); ++i)
        EXPECT_NEAR(sizes[i], double(extent) * ratios[i] / ratioSum, 1.0)
            << "child " << i << " of " << splitter->objectName().toStdString();
}

TEST_F(FrameTest, PageBecomesSplittersAndTitledPanes) {
    PaneFrame* frame = paneFrame("Main", "main");
    frame->resize(1000, 800);
    frame->show();
    settle();

    PaneManager* manager = frame->getPaneManager();
    ASSERT_NE(manager, nullptr);
    ASSERT_NE(manager->getController(), nullptr);
    EXPECT_EQ(manager->getController()->getName(), "ctl");
    EXPECT_TRUE(manager->getController()->isController());

    QSplitter* outer = manager->getSplitter();
    ASSERT_NE(outer, nullptr);
    EXPECT_EQ(outer->orientation(), Qt::Horizontal); // hsplit: side by side
    ASSERT_EQ(outer->count(), 2);
    auto* inner = qobject_cast<QSplitter*>(outer->widget(1));
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(inner->orientation(), Qt::Vertical); // vsplit: one above the other
    expectShares(outer, {250, 750});
    expectShares(inner, {400, 600});

    // The shares hold when the window is resized.
    frame->resize(700, 500);
    settle();
    expectShares(outer, {250, 750});
    expectShares(inner, {400, 600});

    const auto& panes = manager->getPanes();
    ASSERT_EQ(panes.size(), 3u);
    EXPECT_EQ(panes[0]->getName(), "left");
    EXPECT_EQ(panes[0]->getTitle(), "Left side"); // from the pane's parameters
    EXPECT_EQ(panes[1]->getTitle(), "top");       // else the tool's name
    EXPECT_EQ(panes[2]->getTool()->getName(), "bottom");
    EXPECT_NE(dynamic_cast<paneltest::BareTool*>(panes[2]->getTool()), nullptr);
    EXPECT_EQ(panes[0]->getTool()->getPane(), panes[0]);
    EXPECT_EQ(panes[1]->getTool()->getPaneDescription()->name, "top");
    EXPECT_EQ(panes[0]->getTool()->getParentFrame(), frame);

    // The view sits below the title bar; the buttons a tool hides stay hidden.
    auto* view = qobject_cast<QLabel*>(panes[1]->getClient());
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->text(), "top");
    EXPECT_TRUE(view->isVisible());
    EXPECT_TRUE(panes[1]->findChild<QToolButton*>("minimizeButton")->isVisible());
    EXPECT_FALSE(panes[2]->findChild<QToolButton*>("minimizeButton")->isVisible());
    EXPECT_FALSE(panes[2]->findChild<QToolButton*>("linkButton")->isVisible());
    EXPECT_FALSE(panes[2]->findChild<QToolButton*>("viewButton")->isVisible());
    auto* title = panes[1]->findChild<QWidget*>("paneTitleBar");
    EXPECT_LT(title->geometry().bottom(), view->geometry().top());

    // Tools changing their title later are shown at once.
    panes[1]->getTool()->setTitle("Renamed");
    EXPECT_EQ(panes[1]->findChild<QLabel*>("paneTitle")->text(), "Renamed");

    EXPECT_EQ(Journal::get().only("toolInstalled"),
              (std::vector<std::string>{"ctl", "left", "top", "bottom"}));
    EXPECT_EQ(app.app->getTools().size(), 4);
}

TEST_F(FrameTest, MinimisingAPaneFoldsItToItsTitleBar) {
    PaneFrame* frame = paneFrame("Main", "main");
    frame->resize(1000, 800);
    frame->show();
    settle();
    ToolPane* top = frame->getPaneManager()->getPanes()[1];
    ToolPane* bottom = frame->getPaneManager()->getPanes()[2];
    const int bottomBefore = bottom->height();
    top->findChild<QToolButton*>("minimizeButton")->click();
    settle();
    EXPECT_TRUE(top->isMinimized());
    EXPECT_FALSE(top->getClient()->isVisible());
    EXPECT_LE(top->height(), top->findChild<QWidget*>("paneTitleBar")->height() + 4);
    EXPECT_GT(bottom->height(), bottomBefore); // the neighbour takes the room

    top->findChild<QToolButton*>("minimizeButton")->click();
    settle();
    EXPECT_TRUE(top->getClient()->isVisible());
    expectShares(qobject_cast<QSplitter*>(top->parentWidget()), {400, 600});
}

TEST_F(FrameTest, HiddenTitleBarAndUnknownClassesStillBuild) {
    PaneFrame* second = paneFrame("Second", "second");
    second->show();
    ToolPane* plain = second->getPaneManager()->getPanes().at(0);
    EXPECT_FALSE(plain->isTitleBarVisible());

    testing::internal::CaptureStdout();
    PaneFrame* broken = paneFrame("Broken", "broken");
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Cannot create tool lost: unknown class no.such.Class"), std::string::npos);
    ToolPane* gone = broken->getPaneManager()->getPanes().at(0);
    auto* label = qobject_cast<QLabel*>(gone->getClient());
    ASSERT_NE(label, nullptr);
    EXPECT_TRUE(label->text().contains("no.such.Class"));
}

TEST_F(FrameTest, PageLookupIsExact) {
    auto* frame = track(new PaneFrame("monitor", "lookup"));
    EXPECT_EQ(frame->buildPanesForPage("main"), nullptr);
    EXPECT_EQ(frame->getPaneManager(), nullptr);
    EXPECT_EQ(frame->getPaneContext()->getClient(), nullptr);
    EXPECT_NE(frame->buildPanesForPage("Main"), nullptr);
}

TEST_F(FrameTest, WorkbookBecomesTabsAndSectionsNestedWorkbooks) {
    WorkbookFrame* frame = workbookFrame("book");
    ManagedWorkbook* book = frame->getWorkbook();
    ASSERT_NE(book, nullptr);
    ASSERT_EQ(book->count(), 3);
    EXPECT_EQ(book->tabText(0), "Main page");
    EXPECT_EQ(book->tabText(1), "Other"); // the list's title wins
    EXPECT_EQ(book->tabText(2), "Group");
    ASSERT_NE(book->getController(), nullptr);
    EXPECT_EQ(book->getController()->getName(), "wctl");
    EXPECT_EQ(frame->getController(), book->getController());

    PageWidget* group = book->getPage(2);
    ASSERT_NE(group->getMinor(), nullptr);
    EXPECT_EQ(group->getPaneManager(), nullptr);
    ASSERT_EQ(group->getMinor()->count(), 1);
    EXPECT_EQ(group->getMinor()->tabText(0), "Second again");
    EXPECT_EQ(book->findPage("Second"), book->getPage(1));
    EXPECT_TRUE(book->getPage(0)->isSelected());
    EXPECT_TRUE(book->turnToPage("Group"));
    EXPECT_TRUE(group->isSelected());

    book->getPage(1)->setTitle("Changed");
    EXPECT_EQ(book->tabText(1), "Changed");

    // The workbook controller is made once; each page has its own panes.
    EXPECT_EQ(Journal::get().only("toolInstalled"),
              (std::vector<std::string>{"wctl", "ctl", "left", "top", "bottom", "plain", "plain"}));
}

TEST_F(FrameTest, WorkbookInsideItselfIsRefused) {
    ASSERT_TRUE(app.useConfiguration(
        "tools { t : test.Recording; } page Loop { workbook inner 1000 link : W; } "
        "page Leaf { pane p 1000 link null view t; } workbook W { page Leaf; page Loop; }",
        "loop"));
    testing::internal::CaptureStdout();
    auto* frame = track(new WorkbookFrame("W", "loop"));
    ASSERT_NE(frame->buildWorkbook(), nullptr);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Workbook W cannot be shown inside itself"), std::string::npos);
}

TEST_F(FrameTest, ActivateAllGoesControllerFirstInLayoutOrder) {
    WorkbookFrame* frame = workbookFrame("book");
    Journal::get().calls.clear();
    frame->activateAll();
    EXPECT_EQ(Journal::get().only("toolActive"),
              (std::vector<std::string>{"wctl", "ctl", "left", "top", "bottom", "plain", "plain"}));
}

TEST_F(FrameTest, ClosingOneOfTwoFramesNeverAsksApplicationExiting) {
    PaneFrame* first = paneFrame("Main", "first");
    PaneFrame* second = paneFrame("Second", "second");
    first->show();
    second->show();
    ASSERT_EQ(BrowserFrameManager::getManager().getFrameCount(), 2);
    Journal::get().calls.clear();

    EXPECT_TRUE(first->close());
    EXPECT_EQ(Journal::get().only("windowClosing"),
              (std::vector<std::string>{"ctl", "left", "top", "bottom"}));
    EXPECT_TRUE(Journal::get().only("applicationExiting").empty());
    EXPECT_EQ(Journal::get().only("toolUninstalled"),
              (std::vector<std::string>{"ctl", "left", "top", "bottom"}));
    EXPECT_TRUE(app.exits.empty());
    EXPECT_EQ(BrowserFrameManager::getManager().getFrameCount(), 1);
    settle();
    EXPECT_EQ(app.app->getTools().size(), 1); // the closed frame's tools are gone
}

TEST_F(FrameTest, ClosingTheLastFrameAsksEveryToolThenExits) {
    WorkbookFrame* frame = workbookFrame("book");
    frame->setGeometry(40, 50, 640, 480);
    frame->show();
    settle();
    Journal::get().calls.clear();

    EXPECT_TRUE(frame->close());
    const std::vector<std::string> everyTool{"wctl",   "ctl",   "left", "top",
                                             "bottom", "plain", "plain"};
    EXPECT_EQ(Journal::get().only("windowClosing"), everyTool);
    EXPECT_EQ(Journal::get().only("applicationExiting"), everyTool);
    // Every windowClosing comes before the first applicationExiting.
    const auto& calls = Journal::get().calls;
    const auto firstExiting = std::find(calls.begin(), calls.end(), "wctl:applicationExiting");
    EXPECT_EQ(std::count_if(firstExiting, calls.end(),
                            [](const std::string& c) { return c.ends_with(":windowClosing"); }),
              0);
    EXPECT_EQ(app.exits, std::vector<int>{0});

    Profile saved;
    ASSERT_TRUE(saved.load(app.app->getFullSystemProfileName(false)));
    EXPECT_EQ(saved.value("Frame.book"),
              QString("%1,%2,640,480").arg(frame->pos().x()).arg(frame->pos().y()));
    EXPECT_TRUE(paneltest::readFile(app.app->getFullSystemProfileName(false))
                    .startsWith("# System settings\n"));
    EXPECT_TRUE(
        paneltest::readFile(app.app->getFullProfileName(false)).startsWith("# Pane settings\n"));
}

TEST_F(FrameTest, ExitVetoLeavesEverythingOpenAndNothingSaved) {
    WorkbookFrame* frame = workbookFrame("book");
    frame->show();
    Journal::get().calls.clear();
    Journal::get().vetoExiting = {"top"};

    EXPECT_FALSE(frame->close());
    EXPECT_TRUE(frame->isVisible());
    EXPECT_EQ(Journal::get().only("applicationExiting"),
              (std::vector<std::string>{"wctl", "ctl", "left", "top"})); // stops at the veto
    EXPECT_TRUE(Journal::get().only("toolUninstalled").empty());
    EXPECT_TRUE(app.exits.empty());
    EXPECT_FALSE(QFile::exists(app.app->getFullSystemProfileName(false)));
    EXPECT_FALSE(QFile::exists(app.app->getFullProfileName(false)));
    EXPECT_EQ(BrowserFrameManager::getManager().getFrameCount(), 1);

    // Once the tool agrees, the frame closes.
    Journal::get().vetoExiting.clear();
    EXPECT_TRUE(frame->close());
    EXPECT_EQ(app.exits, std::vector<int>{0});
}

TEST_F(FrameTest, WindowClosingVetoStopsTheWalk) {
    PaneFrame* first = paneFrame("Main", "first");
    PaneFrame* second = paneFrame("Second", "second");
    first->show();
    second->show();
    Journal::get().calls.clear();
    Journal::get().vetoClosing = {"ctl"};

    EXPECT_FALSE(first->close());
    EXPECT_EQ(Journal::get().only("windowClosing"), std::vector<std::string>{"ctl"});
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(BrowserFrameManager::getManager().getFrameCount(), 2);
}

TEST_F(FrameTest, CloseRequestDuringTheWalkIsIgnored) {
    PaneFrame* first = paneFrame("Second", "nested");
    PaneFrame* other = paneFrame("Second", "other");
    first->show();
    other->show();
    // A tool that runs an event loop while it is asked (a dialog) may see the window
    // asked to close again; the tools are still asked only once.
    Journal::get().duringClosing = [&] {
        Journal::get().duringClosing = nullptr;
        first->close();
    };
    Journal::get().calls.clear();
    EXPECT_TRUE(first->close());
    EXPECT_EQ(Journal::get().only("toolUninstalled"), std::vector<std::string>{"plain"});
    EXPECT_EQ(Journal::get().only("windowClosing"), std::vector<std::string>{"plain"});
}

TEST_F(FrameTest, FrameClosedFarOffScreenKeepsItsSavedPosition) {
    app.app->getSystemProfile().set("Frame.edge", "10,20,300,200");
    PaneFrame* frame = paneFrame("Second", "edge");
    frame->show();
    settle();
    EXPECT_EQ(frame->pos(), QPoint(10, 20)); // restored on show
    EXPECT_EQ(frame->size(), QSize(300, 200));
    // Closed straight away: the offscreen platform nudges a moved window by its frame margins
    // once events run.
    frame->move(-500, 40);
    ASSERT_EQ(frame->pos().x(), -500);
    EXPECT_TRUE(frame->close());
    EXPECT_EQ(app.app->getSystemProfile().value("Frame.edge"), "10,20,300,200");
    Profile saved;
    ASSERT_TRUE(saved.load(app.app->getFullSystemProfileName(false)));
    EXPECT_EQ(saved.value("Frame.edge"), "10,20,300,200");
}

TEST_F(FrameTest, FramesHoldingTheSameIdentifierAreTold) {
    PaneFrame* first = paneFrame("Second", "same");
    PaneFrame* second = paneFrame("Second", "same");
    first->show();
    second->show();
    EXPECT_EQ(first->getID(), "same");
    EXPECT_EQ(second->getID(), "same#2");
    EXPECT_EQ(BrowserFrameManager::getManager().findFrame("same#2"), second);
    EXPECT_TRUE(second->close());
    settle();
    EXPECT_EQ(BrowserFrameManager::getManager().findFrame("same#2"), nullptr);
}

} // namespace

namespace {

TEST_F(FrameTest, HiddenPanesTakeNoShareAndHugeRatiosStillSplit) {
    ASSERT_TRUE(app.useConfiguration("tools { t : test.Recording; }\n"
                                     "page P { vsplit 1000 { pane a 2000000000 link null view t; "
                                     "hidden pane b 500 link null view t; "
                                     "pane c 2000000000 link null view t; } }\n"
                                     "page Q { hsplit 1000 { pane d 0 link null view t; "
                                     "pane e 0 link null view t; } }",
                                     "odd"));
    PaneFrame* frame = paneFrame("P", "odd");
    frame->resize(600, 800);
    frame->show();
    settle();
    QSplitter* split = frame->getPaneManager()->getSplitter();
    ASSERT_NE(split, nullptr);
    EXPECT_FALSE(frame->getPaneManager()->getPanes()[1]->isVisible());
    const QList<int> sizes = split->sizes();
    EXPECT_EQ(sizes[1], 0);
    // The last ratio gave up the whole excess: the first pane takes the room, the last keeps
    // only its title bar.
    EXPECT_GT(sizes[0], 700);
    EXPECT_LT(sizes[2], 60);

    PaneFrame* even = paneFrame("Q", "even");
    even->resize(600, 400);
    even->show();
    settle();
    expectShares(even->getPaneManager()->getSplitter(), {1, 1}); // no shares: split evenly
}

TEST_F(FrameTest, SectionPageInItsOwnFrameIsANestedWorkbook) {
    PaneFrame* frame = paneFrame("Group", "group");
    EXPECT_EQ(frame->getPaneManager(), nullptr);
    ASSERT_NE(frame->getPaneContext()->getMinor(), nullptr);
    EXPECT_EQ(frame->getPaneContext()->getMinor()->count(), 1);
}

} // namespace

namespace {

TEST_F(FrameTest, TabIconsComeFromImageKeys) {
    QImage image(8, 8, QImage::Format_ARGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(app.path("tab.png")));
    ASSERT_TRUE(paneltest::writeFile(app.path("Application.properties"), "tabIcon=tab.png\n"));
    app.app->setResourceFileName("Application"); // read the bundle again
    ASSERT_TRUE(app.useConfiguration(
        "page A : \"First\" : tabIcon {} page B {} workbook W { page A; page B : \"Second\"; }",
        "icons"));
    auto* frame = track(new WorkbookFrame("W", "icons"));
    ManagedWorkbook* book = frame->buildWorkbook();
    ASSERT_NE(book, nullptr);
    EXPECT_FALSE(book->tabIcon(0).isNull());
    EXPECT_TRUE(book->tabIcon(1).isNull());
    EXPECT_EQ(book->tabText(1), "Second");
}

} // namespace
