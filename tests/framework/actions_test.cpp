#include "panekit/action.h"
#include "panekit/helphandler.h"
#include "panekit/menudata.h"
#include "panekit/menumanager.h"
#include "panekit/menumerger.h"
#include "panekit/menuresource.h"
#include "panekit/paneframe.h"
#include "panekit/panemanager.h"
#include "panekit/standardcontext.h"
#include "panekit/statusline.h"
#include "panekit/statuslinecontribution.h"
#include "panekit/toolbarcontribution.h"
#include "panekit/toolbarmanager.h"
#include "panekit/toolpane.h"
#include "testsupport.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QThread>
#include <QToolBar>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace panekit;

namespace {

std::vector<std::string>& ran() {
    static std::vector<std::string> r;
    return r;
}

// Records which tool's action ran, with the command it was given.
class RecordingAction : public Action {
public:
    explicit RecordingAction(bool later = false) : Action(later) {}
    void run() override {
        const Tool* t = getTool();
        std::string who = t ? t->getViewName().toStdString() : "none";
        if (QThread::currentThread() != QCoreApplication::instance()->thread())
            who += "@worker";
        ran().push_back(who + ":" + getActionCommand().toStdString());
    }
};

// Contributes an "Edit" menu with a focus item "Copy" and a plain item "Clear", a tool bar
// with a Copy button, and a status label.
class ContributingTool : public paneltest::RecordingTool {
public:
    ContributingTool() {
        copy.setTool(this);
        copy.setFocusAction(true);
        clear.setTool(this);
        auto edit = std::make_shared<MenuData>(QStringLiteral("Edit"));
        edit->add(std::make_shared<MenuItemData>(QStringLiteral("Copy"), &copy));
        edit->add(std::make_shared<MenuItemData>(QStringLiteral("Clear"), &clear));
        menus.addMenuData(edit);
        auto focus = std::make_shared<MenuData>(QStringLiteral("focus"));
        focus->add(std::make_shared<MenuItemData>(QStringLiteral("Only for me"), &clear));
        menus.setFocusMenu(focus);
        auto button = std::make_shared<ToolBarButtonData>(QStringLiteral("Copy"), QIcon(),
                                                          QStringLiteral("MiCopy"),
                                                          QStringLiteral("Copy it"), &copy);
        bar.addButtonData(button);
        status.addLabel(label);
    }
    MenuContribution* getMenuContribution() override { return &menus; }
    ToolBarContribution* getToolBarContribution() override { return &bar; }
    StatusLineContribution* getStatusLineContribution() override { return &status; }

    RecordingAction copy;
    RecordingAction clear;
    MenuContribution menus;
    ToolBarContribution bar;
    StatusLineContribution status;
    std::shared_ptr<StatusLabelData> label = std::make_shared<StatusLabelData>(" ");
};

const QByteArray configuration = R"(
tools { twin : test.Contributing; plain : test.Recording; }
page Twins {
    hsplit 1000 {
        pane left 400 link null view twin;
        pane right 400 link null view twin;
        pane other 200 link null view plain;
    }
}
)";

QAction* findAction(QMenu* menu, const QString& text) {
    for (QAction* a : menu->actions())
        if (parseMenuText(a->text()).label == text)
            return a;
    return nullptr;
}

QStringList titles(const QMenuBar* bar) {
    QStringList out;
    for (QAction* a : bar->actions())
        out << parseMenuText(a->text()).label;
    return out;
}

class ActionTest : public testing::Test {
protected:
    static void SetUpTestSuite() { paneltest::ensureQtApplication(); }

    void SetUp() override {
        ran().clear();
        app.app->getPartsFactory().registerTool<ContributingTool>(
            QStringLiteral("test.Contributing"));
        ASSERT_TRUE(app.useConfiguration(configuration));
        frame = new PaneFrame(QStringLiteral("Twins"), QStringLiteral("twins"));
        frame->setApplicationKey(app.app->getKey());
        frame->buildPanesForPage(QStringLiteral("Twins"));
    }

    void TearDown() override {
        delete frame.data();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }

    StandardContext* context() const {
        return static_cast<StandardContext*>(frame->getPanekitContext());
    }
    ContributingTool* twin(const char* pane) const {
        return dynamic_cast<ContributingTool*>(
            frame->getPaneManager()->findPane(QLatin1String(pane))->getTool());
    }
    void focus(const char* pane) {
        frame->show();
        QApplication::setActiveWindow(frame);
        frame->getPaneManager()->findPane(QLatin1String(pane))->setFocus();
        QCoreApplication::processEvents();
    }

    paneltest::TestApplication app;
    QPointer<PaneFrame> frame;
};

TEST(MenuResourceTest, LabelMnemonicAndAccelerator) {
    struct Case {
        const char* text;
        const char* label;
        QChar mnemonic;
        QKeySequence accelerator;
    };
    const Case cases[] = {
        {"&Step@CTRL+VK_S", "Step", u'S', QKeySequence(Qt::CTRL | Qt::Key_S)},
        {"E&xit", "Exit", u'x', QKeySequence()},
        {"Plain", "Plain", QChar(), QKeySequence()},
        {"Go@CTRL+SHIFT+VK_F5", "Go", QChar(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F5)},
        {"Up@ALT+VK_PAGE_UP", "Up", QChar(), QKeySequence(Qt::ALT | Qt::Key_PageUp)},
        {"M@META+VK_a", "M", QChar(), QKeySequence(Qt::META | Qt::Key_A)},
        {"Run@VK_9", "Run", QChar(), QKeySequence(Qt::Key_9)},
        {"Bad@CTRL+VK_NO_SUCH_KEY", "Bad", QChar(), QKeySequence()},
        {"Odd@CTRL+HYPER+VK_S", "Odd", QChar(), QKeySequence()},
        {"OnlyMods@CTRL+SHIFT", "OnlyMods", QChar(), QKeySequence()},
        {"Trail&", "Trail", QChar(), QKeySequence()},
        {"", "", QChar(), QKeySequence()},
    };
    for (const Case& c : cases) {
        const MenuResource r = parseMenuText(QString::fromUtf8(c.text));
        EXPECT_EQ(r.label, QString::fromUtf8(c.label)) << c.text;
        EXPECT_EQ(r.mnemonic, c.mnemonic) << c.text;
        EXPECT_EQ(r.accelerator, c.accelerator) << c.text;
    }
    EXPECT_EQ(parseMenuText("&Step@CTRL+VK_S").qtText(), "&Step");
    EXPECT_EQ(withMnemonic("Save & quit", u'q'), "Save && &quit");
}

TEST(MenuResourceTest, ApplicationBuildsItemsFromItsBundle) {
    paneltest::TestApplication app;
    ASSERT_TRUE(paneltest::writeFile(app.path("Application.properties"),
                                     "MiStep=&Step@CTRL+VK_S\nMAction=&Action\n"));
    const auto item = app.app->getMenuItemData("MiStep");
    EXPECT_EQ(item->getLabel(), "Step");
    EXPECT_EQ(item->getMnemonic(), u'S');
    EXPECT_EQ(item->getAccelerator(), QKeySequence(Qt::CTRL | Qt::Key_S));
    EXPECT_EQ(item->getKey(), "MiStep");
    EXPECT_EQ(app.app->getMenuData("MAction")->getLabel(), "Action");
    app.app->setInformMissing(false);
    EXPECT_EQ(app.app->getMenuItemData("MiForgotten")->getLabel(), "?"); // visible in the menu
}

TEST(MenuMergerTest, PriorityOrderLabelMergeAndSeparators) {
    auto item = [](const char* label, int priority, Action* a = nullptr) {
        auto i = std::make_shared<MenuItemData>(QString::fromLatin1(label), a);
        i->setPriority(priority);
        return i;
    };
    Action first;
    Action second;
    MenuData one(QStringLiteral("Edit"));
    one.add(MenuComponentData::separator(5)); // kept: E (priority 1) goes before it
    one.add(item("A", 5, &first));
    one.add(item("B", 5));
    one.add(MenuComponentData::separator(5));
    one.add(MenuComponentData::separator(5)); // doubled: trimmed
    one.add(item("C", 5));
    auto sub = std::make_shared<MenuData>(QStringLiteral("More"));
    sub->setPriority(5);
    sub->add(item("X", 0));
    one.add(sub);
    one.add(MenuComponentData::separator(100)); // trailing: trimmed
    MenuData two(QStringLiteral("Edit"));
    two.add(item("D", 5));          // equal priority: after the others
    two.add(item("E", 1));          // lower: before the first of greater priority
    two.add(item("A", 9, &second)); // same label: merged, not added
    auto sub2 = std::make_shared<MenuData>(QStringLiteral("More"));
    sub2->add(item("Y", 0));
    two.add(sub2);
    two.add(MenuComponentData::separator(0)); // would lead the menu: trimmed
    MenuData three(QStringLiteral("Tools"));
    three.add(item("T", 0));

    MenuMerger merger;
    merger.mergeMenu(one);
    merger.mergeMenu(two);
    merger.mergeMenu(three);
    merger.finish();
    ASSERT_EQ(merger.getMenus().size(), 2u);
    QStringList labels;
    for (const MergedMenuEntry& e : merger.getMenus()[0].children)
        labels << (e.isSeparator() ? QStringLiteral("-") : e.label);
    EXPECT_EQ(labels, QStringList({"E", "-", "A", "B", "-", "C", "More", "D"}));
    const MergedMenuEntry& more = merger.getMenus()[0].children[6];
    ASSERT_EQ(more.children.size(), 2u);
    EXPECT_EQ(more.children[1].label, "Y");
    EXPECT_EQ(second.getParentAction(), &first);

    // A removed key stays out.
    MenuData four(QStringLiteral("Edit"));
    auto keyed = item("K", 0);
    keyed->setKey(QStringLiteral("MiK"));
    four.add(keyed);
    MenuMerger without({QStringLiteral("MiK")});
    without.mergeMenu(four);
    EXPECT_TRUE(without.getMenus()[0].children.empty());
    MenuMerger::ungroup(merger.getGroupedActions());
    EXPECT_EQ(second.getParentAction(), nullptr);
}

TEST_F(ActionTest, LikeLabelledItemsOfTwoToolsBecomeOneItemRunInTheFocusedTool) {
    frame->buildMenuBar();
    QMenu* edit = context()->getMenuManager().findMenu(QStringLiteral("Edit"));
    ASSERT_NE(edit, nullptr);
    QStringList labels;
    for (QAction* a : edit->actions())
        labels << parseMenuText(a->text()).label;
    EXPECT_EQ(labels, QStringList({"Copy", "Clear"})); // one item each, not two
    EXPECT_EQ(edit->actions()[0]->property("PanekitPriority").toInt(), 0);

    focus("right");
    ASSERT_EQ(Tool::getToolInFocus(), twin("right"));
    findAction(edit, "Copy")->trigger();  // a focus action: the focused twin runs
    findAction(edit, "Clear")->trigger(); // a plain action: the leader runs
    EXPECT_EQ(ran(), (std::vector<std::string>{"right:Copy", "left:Clear"}));

    ran().clear();
    focus("other"); // a tool without the item has the focus: nothing runs
    findAction(edit, "Copy")->trigger();
    EXPECT_TRUE(ran().empty());

    // A twin disabling its action disables the common item (through the leader).
    twin("right")->copy.setEnabled(false);
    EXPECT_FALSE(findAction(edit, "Copy")->isEnabled());
    twin("right")->copy.setEnabled(true);
    EXPECT_TRUE(findAction(edit, "Copy")->isEnabled());
}

TEST_F(ActionTest, StandardMenusAndRemovedPredefinedEntriesStayRemoved) {
    frame->buildMenuBar();
    QMenuBar* bar = frame->menuBar();
    EXPECT_EQ(titles(bar),
              QStringList({"File", "Page", "Pane", "View", "Selected", "Edit", "Windows", "Help"}));
    QMenu* file = context()->getMenuManager().findMenu(QStringLiteral("MFile"));
    ASSERT_NE(findAction(file, "Close"), nullptr);
    EXPECT_EQ(findAction(file, "Close")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_W));

    frame->removePredefinedMenuItem(QStringLiteral("MiClose"));
    frame->removePredefinedMenu(QStringLiteral("MHelp"));
    frame->buildMenuBar();
    frame->buildMenuBar(true);
    file = context()->getMenuManager().findMenu(QStringLiteral("MFile"));
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(findAction(file, "Close"), nullptr);
    EXPECT_NE(findAction(file, "Exit"), nullptr);
    EXPECT_FALSE(titles(frame->menuBar()).contains("Help"));

    // The page menu lists the panes of the page; unticking one hides it.
    QMenu* page = context()->getMenuManager().findMenu(QStringLiteral("MPage"));
    emit page->aboutToShow();
    QAction* left = findAction(page, "twin"); // the panes' titles, in layout order
    ASSERT_NE(left, nullptr);
    left->trigger();
    EXPECT_TRUE(frame->getPaneManager()->findPane("left")->isHidden());
}

TEST_F(ActionTest, SelectedMenuFollowsTheFocusAndDynamicItemsAreMerged) {
    frame->buildMenuBar();
    focus("left");
    QMenu* selected = context()->getMenuManager().findMenu(QStringLiteral("MSelected"));
    ASSERT_NE(selected, nullptr);
    ASSERT_NE(findAction(selected, "Only for me"), nullptr);
    focus("other");
    EXPECT_TRUE(selected->actions().isEmpty());

    Action extra;
    auto item = std::make_shared<MenuItemData>(QStringLiteral("Extra"), &extra);
    twin("left")->addDynamicMenuItem(QStringLiteral("Edit"), item);
    QMenu* edit = context()->getMenuManager().findMenu(QStringLiteral("Edit"));
    EXPECT_NE(findAction(edit, "Extra"), nullptr);
    twin("left")->removeDynamicMenuItem(QStringLiteral("Edit"), item.get());
    edit = context()->getMenuManager().findMenu(QStringLiteral("Edit"));
    EXPECT_EQ(findAction(edit, "Extra"), nullptr);
}

TEST(ActionRunTest, LaterSeparateThreadEmittersAndSelection) {
    ran().clear();
    RecordingAction later(true);
    later.processAction(QStringLiteral("go"));
    EXPECT_TRUE(ran().empty());
    QCoreApplication::processEvents();
    EXPECT_EQ(ran(), (std::vector<std::string>{"none:go"}));

    ran().clear();
    {
        RecordingAction apart;
        apart.setSeparateThread(true);
        apart.processAction(QStringLiteral("bg"));
        apart.waitForRuns();
    }
    EXPECT_EQ(ran(), (std::vector<std::string>{"none@worker:bg"}));

    Action action;
    QAction emitter(QStringLiteral("Item"));
    testing::internal::CaptureStderr();
    EXPECT_TRUE(action.addEmitter(&emitter));
    EXPECT_FALSE(action.addEmitter(&emitter));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("already an emitter"), std::string::npos);
    action.setEnabled(false);
    EXPECT_FALSE(emitter.isEnabled());
    EXPECT_FALSE(action.getQAction()->isEnabled());

    QAction toggle(QStringLiteral("Toggle"));
    toggle.setCheckable(true);
    Action checked;
    checked.addEmitter(&toggle);
    toggle.trigger(); // the emitter's state comes first
    EXPECT_TRUE(checked.isSelected());
    {
        QAction gone(QStringLiteral("Gone"));
        checked.addEmitter(&gone);
    }
    EXPECT_EQ(checked.getEmitters().size(), 2); // its own QAction and the toggle
}

TEST_F(ActionTest, ToolBarsPerBundleAndStatusLabels) {
    twin("left")->bar.setMode(ToolBarContribution::TEXT);
    frame->buildToolBar();
    const QList<QToolBar*> bars = context()->getToolBarManager().getToolBars();
    ASSERT_EQ(bars.size(), 1); // both twins share one bar
    QList<QToolButton*> buttons = bars[0]->findChildren<QToolButton*>();
    buttons.removeIf([](QToolButton* b) { return !b->defaultAction(); });
    ASSERT_EQ(buttons.size(), 1);
    EXPECT_EQ(buttons[0]->toolButtonStyle(), Qt::ToolButtonTextOnly);
    EXPECT_EQ(buttons[0]->toolTip(), "Copy it");
    focus("right");
    buttons[0]->click();
    EXPECT_EQ(ran(), (std::vector<std::string>{"right:MiCopy"}));

    // Mode and location go to the profile under the bar's key and come back from it.
    twin("left")->bar.saveToProfile(app.app->getProfile());
    EXPECT_EQ(app.app->getProfile().value("ToolBar.twin.mode"), "text");
    ToolBarContribution restored;
    restored.setKey(QStringLiteral("ToolBar.twin"));
    restored.initializeFromProfile(app.app->getProfile());
    EXPECT_EQ(restored.getMode(), ToolBarContribution::TEXT);

    // Focus policy: the bar shows only while its tool has the focus.
    twin("left")->bar.setShowPolicy(ToolBarContribution::SHOW_FOCUS);
    frame->buildToolBar(true);
    QToolBar* bar = context()->getToolBarManager().findToolBar("twin");
    ASSERT_NE(bar, nullptr);
    EXPECT_TRUE(bar->isVisible());
    focus("other");
    EXPECT_FALSE(bar->isVisible());

    frame->buildStatusLine();
    StatusLine* status = context()->getStatusLine();
    ASSERT_EQ(status->getUserComponents().size(), 2); // one label per twin
    frame->buildStatusLine(true);                     // a rebuild keeps the labels
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(status->getUserComponents().size(), 2);
    EXPECT_TRUE(twin("left")->label->findComponent()->isVisible());
    twin("left")->label->setText(QStringLiteral("Line 7"));
    EXPECT_EQ(twin("left")->label->findComponent()->text(), "Line 7");
    status->setMessage(QStringLiteral("Ready"));
    EXPECT_EQ(status->getMessage(), "Ready");
    context()->setBusy(true);
    EXPECT_TRUE(status->isBusyIndicatorActive());
    context()->setBusy(false);
    EXPECT_FALSE(status->isBusyIndicatorActive());
}

TEST(HelpHandlerTest, ResolvesNamesAndReportsLaunchFailures) {
    paneltest::TestApplication app;
    HelpHandler& help = app.app->getHelpHandler();
    std::vector<QUrl> opened;
    bool succeed = true;
    help.setOpener([&](const QUrl& url, QString* error) {
        opened.push_back(url);
        if (!succeed)
            *error = QStringLiteral("no browser here");
        return succeed;
    });
    EXPECT_TRUE(help.showURL(QStringLiteral("jsp/page.htm#top")));
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].scheme(), "file");
    EXPECT_EQ(opened[0].toLocalFile(), QDir(app.path("help")).filePath("jsp/page.htm"));
    EXPECT_EQ(opened[0].fragment(), "top");
    help.showURL(QStringLiteral("http://example.org/x.html"));
    EXPECT_EQ(opened.back(), QUrl("http://example.org/x.html"));

    help.setExternalBrowser(false); // no internal window: accepted, nothing shown
    EXPECT_TRUE(help.showURL(QStringLiteral("a.htm")));
    EXPECT_EQ(opened.size(), 2u);

    help.setExternalBrowser(true);
    succeed = false;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(help.showURL(QStringLiteral("a.htm")));
    EXPECT_NE(testing::internal::GetCapturedStdout().find(
                  "Failed to launch the browser: no browser here"),
              std::string::npos);

    EXPECT_EQ(help.getBrowserList(), QStringList({"Netscape Navigator"}));
    help.setNewBrowserWindow(true);
    help.shutdown();
    EXPECT_EQ(app.app->getProfile().value("_PanekitHelpNewWindow"), "true");
    HelpHandler again(app.app->getKey());
    again.initializeFromProfile(app.app->getProfile());
    EXPECT_TRUE(again.isNewBrowserWindow());
    EXPECT_TRUE(again.isExternalBrowser());
}

// A user's home of its own holds settings only: the help pages and images the application
// ships are found in its protected home, and a copy in the home still wins.
TEST(HelpHandlerTest, ShippedPagesAndImagesComeFromTheProtectedHome) {
    paneltest::TestApplication app;
    QTemporaryDir shipped;
    ASSERT_TRUE(QDir(shipped.path()).mkpath("help") && QDir(app.home.path()).mkpath("help"));
    ASSERT_TRUE(paneltest::writeFile(QDir(shipped.path()).filePath("help/view.html"), "<p>"));
    QImage image(4, 4, QImage::Format_ARGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(QDir(shipped.path()).filePath("Run.png")));
    HelpHandler& help = app.app->getHelpHandler();
    std::vector<QUrl> opened;
    help.setOpener([&](const QUrl& url, QString*) {
        opened.push_back(url);
        return true;
    });
    app.app->setInformMissing(false);

    EXPECT_TRUE(app.app->loadIcon(QStringLiteral("Run.png")).isNull());
    app.app->setProtectedHome(shipped.path());
    EXPECT_FALSE(app.app->loadIcon(QStringLiteral("Run.png")).isNull());
    EXPECT_TRUE(app.app->loadIcon(QStringLiteral("None.png")).isNull());

    help.showURL(QStringLiteral("view.html#part"));
    help.showURL(QStringLiteral("absent.html"));
    ASSERT_TRUE(paneltest::writeFile(app.path("help/view.html"), "<p>mine"));
    help.showURL(QStringLiteral("view.html"));
    ASSERT_EQ(opened.size(), 3u);
    EXPECT_EQ(opened[0].toLocalFile(), QDir(shipped.path()).filePath("help/view.html"));
    EXPECT_EQ(opened[0].fragment(), "part");
    EXPECT_EQ(opened[1].toLocalFile(), QDir(app.path("help")).filePath("absent.html"));
    EXPECT_EQ(opened[2].toLocalFile(), QDir(app.path("help")).filePath("view.html"));
}

} // namespace
