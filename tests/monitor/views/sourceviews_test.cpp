#include "tracehook/compileerrorcodes.h"
#include "views/commonviewcomponent.h"
#include "views/commonviewcomponenthighlighter.h"
#include "views/commonviewcomponentlayoutmanager.h"
#include "views/htmlview.h"
#include "views/javaview.h"
#include "views/jspbreakview.h"
#include "viewtestsupport.h"

#include <QScrollBar>
#include <QTest>

using namespace tracewin;
using namespace viewtest;

namespace {

const char* kJava = "public class a_jsp {\n"
                    "vlmAgent.line(12);out.print(\"x\");\n"
                    "  int n = 0;\n";

class JavaViewTest : public ViewTest {
protected:
    void SetUp() override {
        ViewTest::SetUp();
        java = dir.write("work/a_jsp.java", kJava);
        attach(view);
        deliver<StartupEvent>(view, fileRecord("1", "/p/a.jsp", java));
    }
    std::string java;
    JavaView view;
};

TEST_F(JavaViewTest, ShowsTheSourceWithoutInstrumentationAndHighlightsTheJavaLine) {
    ASSERT_TRUE(view.getCanvas());
    EXPECT_EQ(view.model().lineCount(), 3);
    EXPECT_EQ(view.model().viewLine(2), "out.print(\"x\");");
    EXPECT_EQ(view.adjustStartCol(0, 2), 1);
    EXPECT_EQ(view.adjustStartCol(20, 2), 2) << "18 characters were cut from line 2";
    EXPECT_EQ(view.adjustStartCol(5, 3), 5);

    deliver<HighlightEvent>(view, lineRecord("1", 2, 1, 1, 1, 5));
    const auto& h = view.getCanvas()->getHighlighter();
    ASSERT_FALSE(h.isClear());
    EXPECT_EQ(*h.getStartPosition(), FilePosition(1, 2));
    // To the end of the line: the inclusive end of (1, 3).
    EXPECT_EQ(*h.getEndPosition(), view.model().convertToInclusivePos(FilePosition(1, 3)));

    // A JSP compile error has no Java line.
    deliver<HighlightEvent>(view, Record(std::make_shared<const JspSourceInfo>(
                                      "1", tracehook::CompileErrorCodes::JSP_ERR, 2, 0, 1, 1, 1, 4,
                                      "bad", tracehook::CompileErrorCodes::FIRST_AND_LAST_ERR)));
    EXPECT_TRUE(h.isClear());
}

TEST_F(JavaViewTest, AnAbnormalEndKeepsTheMarkANormalEndClearsIt) {
    deliver<HighlightEvent>(view, lineRecord("1", 2, 1, 1, 1, 5));
    const auto& h = view.getCanvas()->getHighlighter();
    deliver<ClientExitEvent>(view, JspSourceInfo::ABNORMAL_CLIENT_EXIT_COMMAND);
    EXPECT_FALSE(h.isClear());
    deliver<ClientExitEvent>(view, JspSourceInfo::CLIENT_EXIT_COMMAND);
    EXPECT_TRUE(h.isClear());
}

TEST_F(JavaViewTest, SwitchingFilesBringsBackEachFilesSource) {
    CommonViewComponent* first = view.getCanvas();
    const std::string other = dir.write("work/b_jsp.java", "class b_jsp {}\n");
    deliver<StartupEvent>(view, fileRecord("2", "/p/b.jsp", other));
    EXPECT_EQ(view.model().lineCount(), 1);
    deliver<SwitchJspFileEvent>(view, 1);
    EXPECT_EQ(view.getCanvas(), first);
    EXPECT_EQ(view.model().lineCount(), 3);
    EXPECT_EQ(view.getCurFileIdStr(), "1");
}

class HtmlViewTest : public ViewTest {
protected:
    void SetUp() override {
        ViewTest::SetUp();
        attach(view);
        deliver<StartupEvent>(view, fileRecord("1", "/p/a.jsp"));
    }
    void html(const std::string& text) { deliver<HtmlEvent>(view, htmlRecord("1", text)); }
    HtmlView view;
};

TEST_F(HtmlViewTest, OutputGrowsAndEveryPieceLetsThePageGoOn) {
    html("<html>\n<body>\n");
    html("<b>bold</b> text\n");
    // The last line break opens the line that the next output goes to.
    EXPECT_EQ(view.model().lineCount(), 4);
    EXPECT_EQ(view.model().viewLine(3), "<b>bold</b> text");
    EXPECT_EQ(probe.count<ResumeEvent>(), 2);
    EXPECT_EQ(view.getScrollPane()->widget(), view.getCanvas());
}

TEST_F(HtmlViewTest, EveryCompleteTagIsAnnouncedWithItsPosition) {
    html("<p>one <b");
    html(">two</b></p>");
    // One announcement per piece of output, holding the tags it completed in order.
    const auto pieces = probe.of<HtmlTagsEvent>();
    ASSERT_EQ(pieces.size(), 2u);
    HtmlTags tags;
    for (const auto& piece : pieces) {
        const auto* batch = piece->itemAs<std::shared_ptr<const HtmlTags>>();
        ASSERT_TRUE(batch && *batch);
        tags.insert(tags.end(), (*batch)->begin(), (*batch)->end());
    }
    ASSERT_EQ(tags.size(), 4u);
    EXPECT_EQ(tags[0].text, "<p>");
    EXPECT_EQ(tags[1].text, "<b>") << "a tag split over two pieces is one tag";
    EXPECT_EQ(tags[2].text, "</b>");
    EXPECT_EQ(tags[3].text, "</p>");
    EXPECT_EQ(tags[1].pos.startLine, 1);
    EXPECT_EQ(tags[1].pos.startPos, 8);
    EXPECT_EQ(tags[1].pos.endPos, 10);
}

TEST_F(HtmlViewTest, TheNewestOutputStaysInView) {
    std::string text;
    for (int i = 0; i < 200; ++i)
        text += "<li>item " + std::to_string(i) + "</li>\n";
    html(text);
    QScrollBar* bar = view.getScrollPane()->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_GT(bar->value(), bar->maximum() / 2);
    EXPECT_GE(view.getCanvas()->getLastVisibleLine(), view.model().lineCount() - 1);
}

TEST_F(HtmlViewTest, MarksTheTagAskedForAndClearsWithoutOne) {
    html("<p>one</p>\n<div>two</div>");
    deliver<HighlightTagEvent>(view, HtmlTagPosition{2, 2, 1, 5});
    const auto& h = view.getCanvas()->getHighlighter();
    ASSERT_FALSE(h.isClear());
    EXPECT_EQ(*h.getStartPosition(), FilePosition(1, 2));
    EXPECT_EQ(*h.getEndPosition(), FilePosition(5, 2));
    deliver<HighlightTagEvent>(view);
    EXPECT_TRUE(h.isClear());
}

TEST_F(HtmlViewTest, ANewPageStartsEmptyAndTheOldOneComesBack) {
    html("<p>first page</p>");
    deliver<StartupEvent>(view, fileRecord("2", "/p/b.jsp"));
    EXPECT_EQ(view.model().lineCount(), 0);
    html("<p>second</p>\n<p>page</p>");
    deliver<SwitchJspFileEvent>(view, 1);
    EXPECT_EQ(view.model().lineCount(), 1);
    EXPECT_EQ(view.model().viewLine(1), "<p>first page</p>");
}

// Whether every pixel of a view's viewport is the colour given.
bool viewportFilledWith(CommonView& view, const QColor& ground) {
    EXPECT_TRUE(QTest::qWaitForWindowExposed(view.getView()));
    const QImage image = view.getScrollPane()->viewport()->grab().toImage();
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) != ground)
                return false;
    return !image.isNull();
}

TEST_F(HtmlViewTest, TheWholePaneIsPaintedInTheTextsBackground) {
    // Before any output, and with a line that fills little of the pane.
    const QColor ground = view.getCanvas()->getBackground();
    EXPECT_TRUE(viewportFilledWith(view, ground));
    html("<p>x</p>");
    const QImage image = view.getScrollPane()->viewport()->grab().toImage();
    EXPECT_EQ(image.pixelColor(image.width() - 1, image.height() - 1), ground);
    EXPECT_EQ(image.pixelColor(2, image.height() - 1), ground);
}

TEST_F(JavaViewTest, NumbersItsLinesAndColoursThem) {
    CommonViewComponent& canvas = *view.getCanvas();
    EXPECT_TRUE(canvas.getLineNumbersShown());
    EXPECT_EQ(canvas.getLanguage(), SourceLanguage::Java);
    EXPECT_GT(canvas.getLayoutManager().getGraphicsAreaLength(), 0);
    const QImage image = view.getScrollPane()->viewport()->grab().toImage();
    EXPECT_EQ(image.pixelColor(image.width() - 1, image.height() - 1), canvas.getBackground());
}

class JspBreakViewTest : public ViewTest {};

TEST_F(JspBreakViewTest, MarksTheJavaLineAndLeavesOnlyTerminateAtTheEnd) {
    JspBreakView view;
    attach(view);
    EXPECT_EQ(view.getScrollPane()->widget(), view.getCanvas()) << "its one canvas from the start";
    const std::string java = dir.write("work/a_jsp.java", kJava);
    deliver<StartupEvent>(view, fileRecord("1", "/p/a.jsp", java));
    EXPECT_EQ(view.model().lineCount(), 3);

    deliver<HighlightEvent>(view, lineRecord("1", 3, 1, 1, 1, 5));
    EXPECT_EQ(view.getCurrentViewLine(), 2);
    const auto& h = view.getCanvas()->getHighlighter();
    ASSERT_FALSE(h.isClear());
    EXPECT_EQ(h.getStartPosition()->line, 3);

    deliver<ClientExitEvent>(view, JspSourceInfo::CLIENT_EXIT_COMMAND);
    const auto buttons = probe.of<ChangeButtonStateEvent>();
    ASSERT_EQ(buttons.size(), 1u);
    EXPECT_TRUE(
        buttons[0]->itemAs<ButtonStates>()->sameFlags({false, false, false, true, false, false}));
}

} // namespace
