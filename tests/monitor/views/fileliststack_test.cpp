#include "core/monitormessagefile.h"
#include "views/commonviewcomponent.h"
#include "views/commonviewcomponenthighlighter.h"
#include "views/commonviewcomponentlayoutmanager.h"
#include "views/jsplstview.h"
#include "views/stackview.h"
#include "viewtestsupport.h"

#include <QListWidget>
#include <QTest>
#include <random>

using namespace tracewin;
using namespace viewtest;

namespace {

class JspLstViewTest : public ViewTest {
protected:
    void SetUp() override {
        ViewTest::SetUp();
        attach(view);
    }
    void start(const std::string& id, const std::string& path) {
        deliver<StartupEvent>(view, fileRecord(id, path));
    }
    std::vector<int> switches() const {
        std::vector<int> out;
        for (const auto* e : probe.of<SwitchJspFileEvent>())
            out.push_back(*e->itemAs<int>());
        return out;
    }
    JspLstView view;
};

TEST_F(JspLstViewTest, OneRowPerPathMappedToItsLatestFileId) {
    start("3", "/site/a.jsp");
    start("7", "/site/a.jsp");
    start("8", "\\site\\b.jsp");
    start("9", "/site/b.jsp");
    EXPECT_EQ(view.getPaths(), (QStringList{"/site/a.jsp", "/site/b.jsp"}));
    EXPECT_EQ(view.fileIdOfRow(0), 7);
    EXPECT_EQ(view.fileIdOfRow(1), 9);
    ASSERT_TRUE(view.getList());
    EXPECT_EQ(view.getList()->currentRow(), 1) << "the file just started is selected";
    EXPECT_TRUE(switches().empty()) << "a start-up switches nothing";
}

TEST_F(JspLstViewTest, PickingARowSwitchesToItsFile) {
    start("3", "/site/a.jsp");
    start("7", "/site/a.jsp");
    start("8", "/site/b.jsp");
    QListWidget* list = view.getList();
    const QRect row0 = list->visualItemRect(list->item(0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row0.center());
    EXPECT_EQ(switches(), std::vector<int>{7});

    // An empty selection names no file and switches nothing.
    list->clearSelection();
    EXPECT_EQ(switches(), std::vector<int>{7});
}

TEST_F(JspLstViewTest, ASwitchFromElsewhereSelectsItsRowWithoutAskingAgain) {
    start("3", "/site/a.jsp");
    start("4", "/site/b.jsp");
    start("5", "/site/c.jsp");
    testing::internal::CaptureStdout();
    deliver<SwitchJspFileEvent>(view, 4);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(view.getList()->currentRow(), 1);
    EXPECT_TRUE(switches().empty());

    deliver<SwitchJspFileEvent>(view, 42);
    EXPECT_EQ(view.getList()->currentRow(), 1) << "an unknown id leaves the list";
}

TEST_F(JspLstViewTest, AClientExitAsksForARestart) {
    start("3", "/site/a.jsp");
    deliver<ClientExitEvent>(view, JspSourceInfo::CLIENT_EXIT_COMMAND);
    EXPECT_EQ(probe.count<RestartConnectionEvent>(), 1);
    EXPECT_EQ(view.getPaths().size(), 1) << "the list stays";
}

class StackViewTest : public ViewTest {
protected:
    static void SetUpTestSuite() {
        MonitorMessageFile::setSharedBase(std::string(TRACEWIN_RESOURCES_DIR) +
                                          "/monitor/ui/MonitorMsg");
    }
    void SetUp() override {
        ViewTest::SetUp();
        attach(view);
        deliver<StartupEvent>(view, fileRecord("1", "/p/a.jsp"));
    }
    void tag(const QString& text, HtmlTagPosition pos = {1, 1, 1, 3}) {
        deliver<HtmlTagEvent>(view, pos, text);
    }
    QStringList lines() const {
        QStringList out;
        for (const auto& l : view.model().getLines())
            out << l->getViewLine();
        return out;
    }
    StackView view;
};

TEST_F(StackViewTest, OpenElementsStackUpAndCloseByTheirEndTags) {
    tag("<html>");
    tag("<body>");
    tag("<table border=1>");
    tag("<tr>");
    tag("<td>");
    EXPECT_EQ(lines(), (QStringList{"<html>", "<body>", "<table border=1>", "<tr>", "<td>"}));
    tag("</table>");
    EXPECT_EQ(lines(), (QStringList{"<html>", "<body>"}));
    tag("<img src=x>");
    tag("<!-- note -->");
    EXPECT_EQ(lines(), (QStringList{"<html>", "<body>"})) << "no end tag, never pushed";
    EXPECT_EQ(status->text, " ");
}

TEST_F(StackViewTest, OpenTagsShowAsWrittenInAnyScript) {
    const QStringList written = {QString::fromUtf8("<html lang=\"caf\u00e9 \u2192 \U0001F600\">"),
                                 QString::fromUtf8("<body class=gr\u00f6\u00dfe>"), "<div>"};
    for (const QString& text : written)
        tag(text);
    EXPECT_EQ(lines(), written);
}

TEST_F(StackViewTest, NestingErrorsReachTheStatusLineAndMarkTheTag) {
    tag("<b>", {1, 1, 1, 3});
    tag("<div>", {1, 1, 4, 8});
    EXPECT_EQ(lines(), (QStringList{"<div>"}));
    const auto errors = view.model().errorList();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].getErrMsg(), "The element <b> is closed without its end tag.");
    EXPECT_NE(std::find(status->history.begin(), status->history.end(),
                        "The element <b> is closed without its end tag."),
              status->history.end());

    probe.clear();
    tag("</font>", {2, 2, 1, 7});
    EXPECT_EQ(status->text, "The end tag </font> closes no open element.");
    const auto marks = probe.of<HighlightTagEvent>();
    ASSERT_FALSE(marks.empty());
    ASSERT_TRUE(marks.back()->itemAs<HtmlTagPosition>());
    EXPECT_EQ(*marks.back()->itemAs<HtmlTagPosition>(), (HtmlTagPosition{2, 2, 1, 7}));

    // The next tag sums up the errors so far and marks the first.
    probe.clear();
    tag("<p>");
    ASSERT_FALSE(probe.of<HighlightTagEvent>().empty());
    EXPECT_EQ(*probe.of<HighlightTagEvent>().front()->itemAs<HtmlTagPosition>(),
              (HtmlTagPosition{1, 1, 4, 8}));
    EXPECT_NE(std::find(status->history.begin(), status->history.end(),
                        "The HTML output has 2 nesting errors."),
              status->history.end());
}

TEST_F(StackViewTest, APieceOfOutputReportsOnceWhereItsTagsLeaveTheStack) {
    const auto piece = std::make_shared<const HtmlTags>(HtmlTags{{"<b>", {1, 1, 1, 3}},
                                                                 {"<div>", {1, 1, 4, 8}},
                                                                 {"</font>", {2, 2, 1, 7}},
                                                                 {"<p>", {3, 3, 1, 3}}});
    const std::size_t reportsBefore = status->history.size();
    probe.clear();
    deliver<HtmlTagsEvent>(view, piece);
    EXPECT_EQ(lines(), (QStringList{"<div>", "<p>"}));
    ASSERT_EQ(view.model().errorList().size(), 2u);
    EXPECT_EQ(view.model().errorList()[1].getErrMsg(),
              "The end tag </font> closes no open element.");
    // The last tag summed up the errors, marked the first, then opened cleanly.
    EXPECT_EQ(status->history.size(), reportsBefore + 1);
    EXPECT_EQ(status->text, " ");
    const auto marks = probe.of<HighlightTagEvent>();
    ASSERT_EQ(marks.size(), 1u);
    EXPECT_EQ(*marks[0]->itemAs<HtmlTagPosition>(), (HtmlTagPosition{1, 1, 4, 8}));
}

TEST_F(StackViewTest, ClickingAStackLineMarksItsTagInTheHtmlView) {
    tag("<html>", {1, 1, 1, 6});
    tag("<body>", {2, 2, 1, 6});
    tag("<ul>", {3, 3, 3, 6});
    probe.clear();
    CommonViewComponent* canvas = view.getCanvas();
    ASSERT_TRUE(canvas);
    const int y = canvas->getLayoutManager().lineNumberToYCoord(2) + 3;
    QTest::mouseClick(canvas, Qt::LeftButton, {}, QPoint(30, y));
    const auto marks = probe.of<HighlightTagEvent>();
    ASSERT_EQ(marks.size(), 1u);
    EXPECT_EQ(*marks[0]->itemAs<HtmlTagPosition>(), (HtmlTagPosition{2, 2, 1, 6}));
    EXPECT_EQ(canvas->getHighlighter().getStartPosition()->line, 2);
}

// Hundreds of tags per piece of output: the view follows the stack's top only, and must
// still show exactly the open elements, laid out as a fresh layout would lay them out.
TEST_F(StackViewTest, LinesAndLayoutFollowEveryChangeOfTheStack) {
    const QStringList tags = {"<div>",  "</div>", "<table>",    "</table>", "<tr>", "<td class=a>",
                              "</td>",  "<p>",    "</p>",       "<ul>",     "<li>", "</ul>",
                              "<b>",    "</b>",   "</blink>",   "<span>",   "<br>", "</span>",
                              "<font>", "</tr>",  "<a href=x>", "</a>",     "<i>",  "</font>"};
    std::mt19937 random(5);
    for (int i = 0; i < 3000; ++i) {
        tag(tags[static_cast<int>(random() % tags.size())]);
        QStringList expected;
        for (const auto& entry : view.model().getStack())
            expected << QString::fromStdString(entry.text);
        ASSERT_EQ(lines(), expected) << "tag " << i;
        const auto& layout = view.getCanvas()->getLayoutManager();
        ASSERT_EQ(layout.getNumRecords(), expected.size()) << "tag " << i;
        ASSERT_EQ(layout.getRecLength(), layout.computeRecLength()) << "tag " << i;
    }
    EXPECT_GT(view.model().getStack().size(), 3u);
}

TEST_F(StackViewTest, EachFileKeepsItsOwnStack) {
    tag("<html>");
    tag("<body>");
    deliver<StartupEvent>(view, fileRecord("2", "/p/b.jsp"));
    EXPECT_TRUE(lines().isEmpty());
    tag("<div>");
    deliver<SwitchJspFileEvent>(view, 1);
    EXPECT_EQ(lines(), (QStringList{"<html>", "<body>"}));
    deliver<SwitchJspFileEvent>(view, 2);
    EXPECT_EQ(lines(), (QStringList{"<div>"}));
}

} // namespace
