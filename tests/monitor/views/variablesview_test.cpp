#include "core/debugsession.h"
#include "support/installtree.h"
#include "views/variablesview.h"
#include "viewtestsupport.h"

#include <QTreeWidget>

using namespace viewtest;
using tracehook::PageVariable;
using tracewin::Variables;
using tracewin::VariablesView;

namespace {

Variables stop(std::vector<PageVariable> entries) {
    auto v = std::make_shared<tracehook::PageVariables::Parsed>();
    v->fileId = "1";
    v->entries = std::move(entries);
    return v;
}

std::vector<PageVariable> locals(const std::string& i, const std::string& total,
                                 bool withOrder = true) {
    std::vector<PageVariable> entries = {{0, "Locals", "", "", false, true}, {1, "i", "int", i}};
    if (withOrder) {
        entries.push_back({1, "order", "shop.Order", "shop.Order@7"});
        entries.push_back({2, "total", "int", total});
        entries.push_back({2, "items", "java.util.List", "java.util.ArrayList (size 1)"});
        entries.push_back({3, "[0]", "java.lang.String", "\"pen\""});
    }
    entries.push_back({0, "Request parameters", "", "", false, true});
    entries.push_back({1, "user", "java.lang.String", "\"Ann\""});
    return entries;
}

class VariablesViewTest : public ViewTest {
protected:
    void SetUp() override {
        ViewTest::SetUp();
        session = std::make_shared<tracewin::DebugSession>(flagFiles());
        view.setSynchronousDispatch(true);
        view.setSession(session);
        view.getView()->resize(500, 300);
        view.getView()->show();
        deliver<tracewin::StartupEvent>(view, fileRecord("1", "/p/a.jsp", "/w/a.java"));
    }
    // One stop: its variables (or none), then its position.
    void stopAt(const Variables& variables) {
        if (variables)
            deliver<tracewin::VariablesEvent>(view, variables);
        deliver<tracewin::HighlightEvent>(view, lineRecord("1", 10, 3, 1, 3, 5));
    }
    QTreeWidgetItem* item(const QStringList& path) const {
        QTreeWidget* shown = view.tree();
        QTreeWidgetItem* found = nullptr;
        for (int i = 0; i < shown->topLevelItemCount() && !found; ++i)
            if (shown->topLevelItem(i)->text(0) == path.front())
                found = shown->topLevelItem(i);
        for (int step = 1; found && step < path.size(); ++step) {
            QTreeWidgetItem* parent = found;
            found = nullptr;
            for (int i = 0; i < parent->childCount() && !found; ++i)
                if (parent->child(i)->text(0) == path[step])
                    found = parent->child(i);
        }
        return found;
    }
    tracewin::MonitorSettings flagFiles() const {
        return tracewin::MonitorSettings(tree.program, tree.program,
                                         [](std::string_view) { return "#"; });
    }
    bool asked() const { return flagFiles().getSendVariables().value_or(false); }

    // The labels the view shows come from the install.
    testsupport::InstallTree tree{0, TRACEWIN_RESOURCES_DIR};
    std::shared_ptr<tracewin::DebugSession> session;
    VariablesView view;
};

TEST_F(VariablesViewTest, OpenNodesStayOpenAndChangedValuesAreMarkedFromStopToStop) {
    EXPECT_FALSE(view.showsTree());
    EXPECT_FALSE(view.message().isEmpty()) << "no stop yet: it says so";
    stopAt(stop(locals("1", "5")));
    ASSERT_TRUE(view.showsTree());
    ASSERT_TRUE(item({"Locals", "order", "total"}));
    EXPECT_TRUE(item({"Locals"})->isExpanded()) << "headings open the first time";
    EXPECT_FALSE(item({"Locals", "order"})->isExpanded());
    EXPECT_FALSE(VariablesView::isMarkedChanged(*item({"Locals", "i"}))) << "a first stop";
    EXPECT_EQ(item({"Locals", "order"})->text(1), "shop.Order");

    // The user opens the object and closes the parameters.
    item({"Locals", "order"})->setExpanded(true);
    item({"Locals", "order", "items"})->setExpanded(true);
    item({"Request parameters"})->setExpanded(false);

    stopAt(stop(locals("2", "5")));
    EXPECT_TRUE(item({"Locals", "order"})->isExpanded());
    EXPECT_TRUE(item({"Locals", "order", "items"})->isExpanded());
    EXPECT_FALSE(item({"Request parameters"})->isExpanded()) << "closed stays closed";
    EXPECT_TRUE(VariablesView::isMarkedChanged(*item({"Locals", "i"})));
    EXPECT_FALSE(VariablesView::isMarkedChanged(*item({"Locals", "order", "total"})));

    // A stop without the object, then one with it again: it comes back open.
    stopAt(stop(locals("3", "5", false)));
    EXPECT_FALSE(item({"Locals", "order"}));
    stopAt(stop(locals("3", "9")));
    ASSERT_TRUE(item({"Locals", "order"}));
    EXPECT_TRUE(item({"Locals", "order"})->isExpanded());
    EXPECT_TRUE(VariablesView::isMarkedChanged(*item({"Locals", "order", "total"})));
    EXPECT_TRUE(VariablesView::isMarkedChanged(*item({"Locals", "order"}))) << "new again";
    EXPECT_FALSE(VariablesView::isMarkedChanged(*item({"Locals", "i"})));
}

TEST_F(VariablesViewTest, CutValuesAreMarkedAndStopsWithoutVariablesSayWhy) {
    stopAt(stop({{0, "s", "java.lang.String", "\"aaaa", true}}));
    ASSERT_TRUE(item({"s"}));
    EXPECT_TRUE(item({"s"})->text(2).endsWith(QChar(0x2026)));
    EXPECT_TRUE(item({"s"})->toolTip(2).startsWith("\"aaaa"));

    // Asked for variables, the runtime sent none at this stop.
    stopAt(nullptr);
    EXPECT_FALSE(view.showsTree());
    const QString noneSent = view.message();
    EXPECT_FALSE(noneSent.isEmpty());

    // The page ends: no stale values stay.
    stopAt(stop(locals("1", "1")));
    deliver<tracewin::ClientExitEvent>(view, 8);
    EXPECT_FALSE(view.showsTree());
    EXPECT_NE(view.message(), noneSent);
}

TEST_F(VariablesViewTest, AnotherPageShownWhereItWaitsKeepsTheStopsVariables) {
    stopAt(stop(locals("1", "5")));
    stopAt(stop(locals("2", "5")));
    ASSERT_TRUE(view.showsTree());
    // The user switches to the including page and back: the page has not moved.
    for (const char* file : {"2", "1"})
        view.linkChanged(std::make_shared<tracewin::HighlightEvent>(
            &driver, tracewin::kShownAgain, QString(), std::any(lineRecord(file, 10, 3, 1, 3, 5))));
    ASSERT_TRUE(view.showsTree()) << view.message().toStdString();
    EXPECT_EQ(item({"Locals", "i"})->text(2), "2");
}

TEST_F(VariablesViewTest, APageThatDoesNotCompileHasNoStopToShow) {
    const QString noPage = view.message();
    deliver<tracewin::StartupEvent>(view, fileRecord("2", "/p/e.jsp", std::nullopt, true));
    deliver<tracewin::HighlightEvent>(
        view, tracewin::Record(std::make_shared<const JspSourceInfo>(
                  "2", 1, 0, 0, 4, 1, 4, 20, "Unterminated <%= expression", 0)));
    EXPECT_FALSE(view.showsTree());
    EXPECT_EQ(view.message(), noPage) << "no claim about variables the page never had";
}

TEST_F(VariablesViewTest, TheRuntimesAreAskedForVariablesOnlyWhileTheViewShows) {
    EXPECT_TRUE(asked());
    view.getView()->hide();
    EXPECT_FALSE(asked());
    EXPECT_FALSE(session->variablesWanted());
    view.getView()->show();
    EXPECT_TRUE(asked());
}

} // namespace
