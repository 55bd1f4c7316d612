#include "support/tempdir.h"
#include "tracehook/systemproperties.h"
#include "views/breakpointimage.h"
#include "views/commonmodel.h"
#include "views/commonviewcomponent.h"
#include "views/commonviewcomponentcaret.h"
#include "views/commonviewcomponenthighlighter.h"
#include "views/commonviewcomponenthost.h"
#include "views/commonviewcomponentinputcontroller.h"
#include "views/commonviewcomponentlayoutmanager.h"
#include "views/htmlmodel.h"
#include "views/sourcepane.h"
#include "views/syntaxcolouring.h"

#include <QImageReader>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <thread>

using namespace tracewin;

namespace {

// The view side of the component: records what the component tells its view.
struct FakeHost : CommonViewComponentHost {
    const CommonModel* getCommonModel() const override { return &model; }
    bool getFocus() const override { return focus; }
    void sendBreakpointInfo(int line, bool isSet) override { sent.emplace_back(line, isSet); }
    void refreshSelectedItemMenu() override { ++menuRefreshes; }

    CommonModel model;
    bool focus = false;
    std::vector<std::pair<int, bool>> sent;
    int menuRefreshes = 0;
};

void fill(CommonModel& model, const QStringList& texts) {
    SourceLines lines;
    for (const QString& t : texts)
        lines.push_back(std::make_shared<SourceInformation>(model, t));
    model.setLines(std::move(lines));
}

QStringList numberedLines(int count, int width = 0) {
    QStringList out;
    for (int i = 1; i <= count; ++i) {
        QString t = QStringLiteral("line %1 ").arg(i);
        while (t.size() < width)
            t += QChar(char16_t(u'a' + t.size() % 26));
        out << t;
    }
    return out;
}

// A component in a real scroll area whose viewport is exactly `rows` lines high and
// `cols` characters wide, shown offscreen.
class TextViewTest : public ::testing::Test {
protected:
    void show(const QStringList& texts, int rows = 20, int cols = 60, bool margin = true) {
        fill(host.model, texts);
        area = std::make_unique<QScrollArea>();
        area->setFrameShape(QFrame::NoFrame);
        area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        component = new CommonViewComponent(&host, margin);
        component->setNewLines(&host.model.getLines());
        area->setWidget(component);
        const auto& l = layout();
        const int vw = l.getSourceAreaStart() + cols * l.getCharWidth();
        const int vh = rows * l.getLineHeight();
        area->resize(vw + area->verticalScrollBar()->sizeHint().width(),
                     vh + area->horizontalScrollBar()->sizeHint().height());
        area->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(area.get()));
        ASSERT_EQ(area->viewport()->size(), QSize(vw, vh));
    }

    CommonViewComponentLayoutManager& layout() const { return component->getLayoutManager(); }
    int hValue() const { return area->horizontalScrollBar()->value(); }
    int vValue() const { return area->verticalScrollBar()->value(); }
    int X(int col) const { return layout().sourcePositionToXCoord(col); }
    int Y(int line) const { return layout().lineNumberToYCoord(line); }
    // A point in the middle of a line's margin cell, and in the text at a column.
    QPoint margin(int line) const { return QPoint(5, Y(line) + layout().getLineHeight() / 2); }
    QPoint text(int col, int line) const {
        return QPoint(X(col) + layout().getCharWidth() / 2, Y(line) + layout().getLineHeight() / 2);
    }
    void doubleClick(const QPoint& p) {
        QTest::mouseClick(component, Qt::LeftButton, {}, p);
        QTest::mouseDClick(component, Qt::LeftButton, {}, p);
    }
    QImage snapshot() const { return component->grab().toImage(); }

    FakeHost host;
    std::unique_ptr<QScrollArea> area;
    CommonViewComponent* component = nullptr;
};

TEST_F(TextViewTest, LayoutFollowsFontAndLines) {
    show({QString(40, u'x'), QString(41, u'y'), QStringLiteral("short")});
    const auto& l = layout();
    // A line as long as the value found so far does not grow it: 40 gives 41, then 41 stays.
    EXPECT_EQ(l.getRecLength(), 41);
    EXPECT_EQ(l.getNumRecords(), 3);
    EXPECT_GE(l.getLineHeight(), 16);
    EXPECT_EQ(l.getLineHeight(), std::max(l.getTextHeight(), 16));
    EXPECT_EQ(l.getCharWidth(), QFontMetrics(component->font()).horizontalAdvance(u'O'));
    EXPECT_EQ(l.getGraphicsAreaLength(), 11);
    EXPECT_EQ(l.getSourceAreaStart(), 16);
    EXPECT_EQ(l.getSourceAreaLength(), 41 * l.getCharWidth() + 5);
    EXPECT_EQ(l.getPreferredSize(), QSize(11 + 41 * l.getCharWidth() + 5, 3 * l.getLineHeight()));
    EXPECT_EQ(component->size(), l.getPreferredSize());
    EXPECT_EQ(area->verticalScrollBar()->singleStep(), l.getLineHeight());
    EXPECT_EQ(area->horizontalScrollBar()->singleStep(), l.getCharWidth());

    // Conversions, 1-based, clamped to the text.
    EXPECT_EQ(l.yCoordToLineNumber(0), 1);
    EXPECT_EQ(l.yCoordToLineNumber(l.getLineHeight()), 2);
    EXPECT_EQ(l.yCoordToLineNumber(100000), 3);
    EXPECT_EQ(l.lineNumberToYCoord(1), 0);
    EXPECT_EQ(l.lineNumberToYCoord(99), l.getPreferredSize().height() - 1);
    EXPECT_EQ(l.xCoordToSourcePosition(15), -1);
    EXPECT_EQ(l.xCoordToSourcePosition(16), 1);
    EXPECT_EQ(l.xCoordToSourcePosition(16 + l.getCharWidth()), 2);
    EXPECT_EQ(l.pointToFilePosition(QPoint(3, 0)), std::nullopt);
    EXPECT_EQ(l.pointToRelativeFilePosition(QPoint(3, l.getLineHeight())), FilePosition(1, 2));
    EXPECT_EQ(l.filePositionToRectangle(FilePosition(2, 2)),
              QRect(X(2), Y(2), l.getCharWidth(), l.getLineHeight()));
    EXPECT_EQ(l.lineNumberToRectangle(2),
              QRect(0, Y(2), l.getPreferredSize().width(), l.getLineHeight()));

    // Huge positions from the wire saturate instead of overflowing.
    EXPECT_EQ(l.sourcePositionToXCoord(std::numeric_limits<int>::max()),
              std::numeric_limits<int>::max());
    EXPECT_EQ(l.lineNumberToYCoord(std::numeric_limits<int>::min()),
              std::numeric_limits<int>::min());
}

TEST_F(TextViewTest, MarginlessFormAndMissingLines) {
    show(numberedLines(3), 20, 60, false);
    EXPECT_EQ(layout().getGraphicsAreaLength(), 0);
    EXPECT_EQ(layout().getSourceAreaStart(), 5);
    EXPECT_FALSE(layout().isPointContainedInGraphicsArea(QPoint(0, 0)));

    component->setNewLines(nullptr);
    EXPECT_EQ(layout().getPreferredSize(), QSize(10, 10));
    EXPECT_EQ(component->sizeHint(), QSize(200, 100));
    QSignalSpy beeps(component, &CommonViewComponent::beeped);
    component->setBreakpoint(QPoint(2, 2));
    EXPECT_EQ(beeps.count(), 1);
    component->getCaret().setPosition(FilePosition(3, 3));
    EXPECT_EQ(component->getCaret().getPosition(), FilePosition(0, 0));
    component->highlight(1, 1, 2, 2);
    EXPECT_TRUE(component->getHighlighter().getHighlights().empty());
    QTest::mouseClick(component, Qt::LeftButton, {}, QPoint(30, 5));
    QTest::keyClick(component, Qt::Key_PageDown);
    EXPECT_EQ(snapshot().pixelColor(1, 1), component->getBackground());

    // Without a scroll area there is no viewport to ask.
    CommonViewComponent loose(&host);
    EXPECT_EQ(loose.getFirstVisibleLine(), -1);
    EXPECT_EQ(loose.getLastVisibleCol(), -1);
    EXPECT_FALSE(loose.posRequiresScrolling(500, 500));
}

TEST_F(TextViewTest, HighlightRectanglesOfOneLineAndSeveralLines) {
    show(numberedLines(10, 30));
    CommonViewComponentHighlighter& h = component->getHighlighter();
    const int cw = layout().getCharWidth();
    const int lh = layout().getLineHeight();
    const int right = layout().getPreferredSize().width();

    component->highlight(2, 3, 2, 7);
    ASSERT_EQ(h.getHighlights().size(), 1u);
    EXPECT_EQ(h.getHighlights()[0], QRect(X(3), Y(2), X(7) + cw - X(3) + 1, lh));
    EXPECT_EQ(h.asString(), layout().lineText(2).mid(2, 5));

    // Positions given end first are ordered.
    component->highlight(5, 4, 2, 5);
    EXPECT_EQ(h.getStartPosition(), FilePosition(5, 2));
    EXPECT_EQ(h.getEndPosition(), FilePosition(4, 5));
    const std::vector<QRect> expected{
        QRect(X(5), Y(2), right - X(5), lh),
        QRect(X(1), Y(3), right - X(1), lh),
        QRect(X(1), Y(4), right - X(1), lh),
        QRect(X(1), Y(5), X(4) + cw + 1 - X(1), lh),
    };
    EXPECT_EQ(h.getHighlights(), expected);
    EXPECT_TRUE(h.isInHighlight(FilePosition(1, 3)));
    EXPECT_FALSE(h.isInHighlight(FilePosition(5, 5)));
    EXPECT_TRUE(h.isInHighlight(text(20, 3)));
    EXPECT_FALSE(h.isInHighlight(text(5, 5)));
    EXPECT_EQ(h.highlightsIntersection(QRect(0, Y(4), 5000, 1)), expected[2]);
    EXPECT_EQ(h.asString(), layout().lineText(2).mid(4) + "\n" + layout().lineText(3) + "\n" +
                                layout().lineText(4) + "\n" + layout().lineText(5).left(4));

    // The painted pixels match: inside in the selection colour, just outside not.
    QImage img = snapshot();
    EXPECT_EQ(img.pixelColor(X(5) + 1, Y(2) + 1), QColor(Qt::cyan));
    EXPECT_EQ(img.pixelColor(right - 2, Y(3) + lh - 1), QColor(Qt::cyan));
    EXPECT_EQ(img.pixelColor(X(4) + cw, Y(5) + 1), QColor(Qt::cyan));
    EXPECT_NE(img.pixelColor(X(4) + cw + 2, Y(5) + 1), QColor(Qt::cyan));
    EXPECT_NE(img.pixelColor(X(5) - 1, Y(2) + 1), QColor(Qt::cyan));

    // An end at column 0 leaves out the last line; a span running past the text stays
    // bounded.
    component->highlight(2, 5, 4, 0);
    EXPECT_EQ(h.getHighlights().size(), 2u);
    component->highlight(1, 1, std::numeric_limits<int>::max(), 5);
    EXPECT_LE(h.getHighlights().size(), 12u);
    snapshot();

    // Equal ends clear the highlight.
    component->highlight(3, 4, 3, 4);
    EXPECT_TRUE(h.isClear());
    EXPECT_TRUE(h.getHighlights().empty());
}

// The regions of the paint events a widget gets while it is watched.
struct PaintRegions : QObject {
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint)
            regions.push_back(static_cast<QPaintEvent*>(e)->region());
        return false;
    }
    std::vector<QRegion> regions;
};

// Moves of the highlight between two paints ask for one paint; each move after a paint
// asks for another, also when the view was hidden in between.
TEST_F(TextViewTest, AHighlightMovedAfterAPaintIsPaintedAgain) {
    show(numberedLines(10, 30));
    struct PaintCounter : QObject {
        bool eventFilter(QObject*, QEvent* event) override {
            paints += event->type() == QEvent::Paint;
            return false;
        }
        int paints = 0;
    } counter;
    component->installEventFilter(&counter);
    auto movedAndPainted = [&](int line) {
        const int before = counter.paints;
        for (int k = 0; k < 50; ++k)
            component->highlight(line, 1 + k % 5, line, 8);
        return QTest::qWaitFor([&] { return counter.paints > before; }, 5000);
    };
    EXPECT_TRUE(movedAndPainted(2));
    EXPECT_TRUE(movedAndPainted(3)) << "a move after the paint asks again";
    area->hide();
    component->highlight(4, 1, 4, 3);
    area->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(area.get()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return counter.paints > 0; }));
    EXPECT_TRUE(movedAndPainted(5)) << "a move asked while hidden does not hold back the next";
    EXPECT_TRUE(movedAndPainted(6));
}

// A highlight that moves repaints the lines it leaves and the lines it reaches, whole,
// and no more: a run moving between a few lines of a long file repaints those.
TEST_F(TextViewTest, AMovedHighlightRepaintsTheLinesItLeavesAndReaches) {
    show(numberedLines(20, 30));
    PaintRegions paints;
    component->highlight(2, 3, 2, 8);
    component->repaint();
    component->installEventFilter(&paints);
    auto lineRow = [&](int line) {
        return QRect(0, layout().lineNumberToYCoord(line), component->width(),
                     layout().getLineHeight());
    };
    component->highlight(7, 1, 8, 4);
    component->highlight(2, 5, 2, 6);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !paints.regions.empty(); }, 2000));
    ASSERT_EQ(paints.regions.size(), 1u) << "moves between two paints ask for one";
    const QRegion painted = paints.regions[0];
    for (int line : {2, 7, 8})
        EXPECT_TRUE(painted.contains(lineRow(line))) << "line " << line;
    EXPECT_FALSE(painted.intersects(lineRow(12))) << "a line the highlight never met";

    // A clear repaints where the highlight was.
    paints.regions.clear();
    component->getHighlighter().clear();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !paints.regions.empty(); }, 2000));
    EXPECT_TRUE(paints.regions[0].contains(lineRow(2)));
    EXPECT_FALSE(paints.regions[0].intersects(lineRow(7)));
    component->removeEventFilter(&paints);
}

TEST_F(TextViewTest, HighlightScrollsIntoViewWithThreeColumnsOfContext) {
    show(numberedLines(200, 300));
    auto* hbar = area->horizontalScrollBar();
    auto* vbar = area->verticalScrollBar();

    // Visible and clear of the edges: no scrolling.
    component->highlight(5, 10, 5, 12);
    EXPECT_EQ(hValue(), 0);
    EXPECT_EQ(vValue(), 0);

    // Columns 1 to 3 bring the margin into view.
    hbar->setValue(hbar->maximum());
    vbar->setValue(Y(100));
    component->highlight(50, 2, 50, 6);
    EXPECT_EQ(hValue(), 0);
    EXPECT_EQ(vValue(), Y(50));
    EXPECT_EQ(component->getFirstVisibleLine(), 50);
    EXPECT_EQ(component->getFirstVisibleCol(), 1);

    // Column 10 is in view across: the view moves down only, the lines' starts stay.
    component->highlight(120, 10, 120, 14);
    EXPECT_EQ(hValue(), 0);
    EXPECT_EQ(vValue(), Y(120));
    EXPECT_EQ(component->getFirstVisibleCol(), 1);
    // Over two lines likewise.
    component->highlight(160, 10, 161, 4);
    EXPECT_EQ(hValue(), 0);
    EXPECT_EQ(vValue(), Y(160));

    // The last visible line counts as out of view when it may be cut off.
    vbar->setValue(0);
    hbar->setValue(0);
    component->highlight(20, 5, 20, 6);
    EXPECT_EQ(vValue(), Y(20));
    // A span beyond the right edge scrolls sideways, as little as shows it with three
    // columns after it.
    component->highlight(21, 100, 21, 104);
    EXPECT_EQ(hValue(), X(104) + 4 * layout().getCharWidth() - area->viewport()->width());

    // The scroll requested from another thread runs on the user-interface thread.
    std::thread([this] { component->scrollLineToVisible(150); }).join();
    EXPECT_TRUE(QTest::qWaitFor([&] { return vValue() == Y(150); }, 2000));
    EXPECT_EQ(hValue(), 0);
}

TEST_F(TextViewTest, DisplayAndMakeLineVisible) {
    show(numberedLines(100));
    component->displayCurrentFile(40);
    EXPECT_EQ(component->getFirstVisibleLine(), 40);
    EXPECT_EQ(component->getCaret().getPosition(), FilePosition(1, 40));
    component->displayCurrentFile(1000);
    EXPECT_EQ(component->getCaret().getPosition(), FilePosition(1, 100));
    EXPECT_EQ(vValue(), area->verticalScrollBar()->maximum());

    // The line becomes the last fully visible one.
    component->makeLineVisible(60);
    EXPECT_EQ(component->getFirstVisibleLine(), 41);
    EXPECT_EQ(component->getLastVisibleLine(), 60);
    component->makeLineVisible(100);
    EXPECT_EQ(component->getLastVisibleLine(), 100);
    component->makeLineVisible(3);
    EXPECT_EQ(vValue(), 0);
}

TEST_F(TextViewTest, PagingAndControlHomeEnd) {
    show(numberedLines(100));
    QTest::keyClick(component, Qt::Key_PageDown);
    EXPECT_EQ(component->getFirstVisibleLine(), 21);
    QTest::keyClick(component, Qt::Key_PageDown);
    EXPECT_EQ(component->getFirstVisibleLine(), 41);
    QTest::keyClick(component, Qt::Key_PageUp);
    EXPECT_EQ(component->getFirstVisibleLine(), 21);
    QTest::keyClick(component, Qt::Key_PageUp);
    QTest::keyClick(component, Qt::Key_PageUp);
    EXPECT_EQ(component->getFirstVisibleLine(), 1);
    // Near the end the last page shows the last lines.
    component->scrollLineToVisible(75);
    QTest::keyClick(component, Qt::Key_PageDown);
    EXPECT_EQ(component->getFirstVisibleLine(), 81);
    component->scrollLineToVisible(70);
    QTest::keyClick(component, Qt::Key_PageDown);
    EXPECT_EQ(component->getFirstVisibleLine(), 81);
    component->scrollLineToVisible(50);
    QTest::keyClick(component, Qt::Key_PageDown);
    EXPECT_EQ(component->getFirstVisibleLine(), 70);
    // At the bottom the view stays, the last line in sight.
    QTest::keyClick(component, Qt::Key_PageDown);
    QTest::keyClick(component, Qt::Key_PageDown);
    EXPECT_EQ(component->getFirstVisibleLine(), 81);
    EXPECT_EQ(component->getLastVisibleLine(), 100);

    QTest::keyClick(component, Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(component->getCaret().getPosition(), FilePosition(1, 1));
    EXPECT_EQ(vValue(), 0);
    QTest::keyClick(component, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(component->getCaret().getPosition(), FilePosition(1, 100));
    EXPECT_EQ(component->getLastVisibleLine(), 100);
    // Home without Control and the arrow keys leave the caret alone.
    QTest::keyClick(component, Qt::Key_Home);
    QTest::keyClick(component, Qt::Key_Up);
    EXPECT_EQ(component->getCaret().getPosition(), FilePosition(1, 100));

    QTest::keyPress(component, Qt::Key_Control);
    EXPECT_TRUE(component->getInputController().getProcessingCTLKey());
    QTest::keyRelease(component, Qt::Key_Control);
    EXPECT_FALSE(component->getInputController().getProcessingCTLKey());
}

TEST_F(TextViewTest, KeysDoNothingWhenTheTextIsShorterThanTheViewport) {
    show(numberedLines(5));
    component->getCaret().setPosition(FilePosition(3, 3));
    QTest::keyClick(component, Qt::Key_PageDown);
    QTest::keyClick(component, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(vValue(), 0);
    EXPECT_EQ(component->getFirstVisibleLine(), 1);
    EXPECT_EQ(component->getCaret().getPosition(), FilePosition(3, 3));
    QTest::keyPress(component, Qt::Key_Control);
    EXPECT_FALSE(component->getInputController().getProcessingCTLKey());
}

TEST_F(TextViewTest, DoubleClickInTheMarginTogglesBreakpoints) {
    show({QStringLiteral("<html>"), QStringLiteral("   "), QString(), QStringLiteral("  x"),
          QStringLiteral("</html>")});
    QSignalSpy beeps(component, &CommonViewComponent::beeped);

    // Blank lines never take a breakpoint.
    doubleClick(margin(2));
    doubleClick(margin(3));
    EXPECT_EQ(beeps.count(), 2);
    EXPECT_FALSE(component->getBreakpointState(2));
    EXPECT_TRUE(host.sent.empty());

    doubleClick(margin(4));
    EXPECT_TRUE(component->getBreakpointState(4));
    const QImage marked = snapshot();
    // The mark's centre is red; the rest of the cell keeps the margin colour.
    const QColor centre = marked.pixelColor(2 + 4, Y(4) + 5 + 4);
    EXPECT_GT(centre.red(), 150);
    EXPECT_LT(centre.green(), 60);
    EXPECT_EQ(marked.pixelColor(1, Y(4) + 1), QColor(152, 152, 152));
    EXPECT_EQ(marked.pixelColor(6, Y(1) + 9), QColor(152, 152, 152));

    doubleClick(margin(4));
    EXPECT_FALSE(component->getBreakpointState(4));
    EXPECT_EQ(host.sent, (std::vector<std::pair<int, bool>>{{4, true}, {4, false}}));
    EXPECT_EQ(snapshot().pixelColor(2 + 4, Y(4) + 5 + 4), QColor(152, 152, 152));
    EXPECT_EQ(beeps.count(), 2);

    // A double click in the text sets nothing.
    doubleClick(text(2, 1));
    EXPECT_FALSE(component->getBreakpointState(1));
    EXPECT_EQ(host.sent.size(), 2u);

    // The margin shows and edits a list it is given (the session's, for a file).
    auto given = std::make_shared<BreakpointLst>();
    given->add(5);
    component->setBreakpoints(given);
    EXPECT_TRUE(component->getBreakpointState(5));
    EXPECT_GT(snapshot().pixelColor(2 + 4, Y(5) + 5 + 4).red(), 150);
    doubleClick(margin(1));
    EXPECT_EQ(given->lines(), (std::vector<int>{5, 1}));
}

TEST_F(TextViewTest, ClicksPlaceTheCaret) {
    show(numberedLines(30, 20));
    host.focus = true;
    QTest::mouseClick(component, Qt::LeftButton, {}, margin(7));
    EXPECT_EQ(component->getCaret().getPosition(), FilePosition(1, 7));
    EXPECT_FALSE(component->getBreakpointState(7));
    EXPECT_TRUE(host.sent.empty());
    EXPECT_TRUE(component->hasFocus());
    EXPECT_EQ(host.menuRefreshes, 1);

    QTest::mouseClick(component, Qt::LeftButton, {}, text(6, 9));
    EXPECT_EQ(component->getCaret().getPosition(), FilePosition(6, 9));
    EXPECT_EQ(component->getCaret().getMark(), FilePosition(6, 9));
    EXPECT_EQ(component->getInputController().getLastPressedPosition(), text(6, 9));
    // Same line, other column: the menu need not change.
    QTest::mouseClick(component, Qt::LeftButton, {}, text(8, 9));
    EXPECT_EQ(host.menuRefreshes, 2);
    host.focus = false;
    QTest::mouseClick(component, Qt::LeftButton, {}, text(8, 10));
    EXPECT_EQ(host.menuRefreshes, 2);
    // Dragging selects nothing.
    QTest::mousePress(component, Qt::LeftButton, {}, text(2, 2));
    QTest::mouseMove(component, text(9, 4));
    QTest::mouseRelease(component, Qt::LeftButton, {}, text(9, 4));
    EXPECT_TRUE(component->getHighlighter().isClear());
}

TEST_F(TextViewTest, AViewMayListenToClicksItself) {
    struct LineSelector : CommonViewComponentInputController {
        using CommonViewComponentInputController::CommonViewComponentInputController;
        void mouseClicked(QMouseEvent& event) override {
            const int line =
                component().getLayoutManager().yCoordToLineNumber(event.position().toPoint().y());
            component().highlight(line, 1, line, 4);
        }
    };
    show(numberedLines(30, 20));
    component->setInputController(std::make_unique<LineSelector>(*component));
    QTest::mouseClick(component, Qt::LeftButton, {}, text(9, 6));
    EXPECT_EQ(component->getHighlighter().getStartPosition(), FilePosition(1, 6));
    // Pressing still places the caret; a drag is no click.
    EXPECT_EQ(component->getCaret().getPosition(), FilePosition(9, 6));
    component->getHighlighter().clear();
    QTest::mousePress(component, Qt::LeftButton, {}, text(2, 2));
    QTest::mouseRelease(component, Qt::LeftButton, {}, text(9, 4));
    EXPECT_TRUE(component->getHighlighter().isClear());
}

TEST_F(TextViewTest, CaretClampsIntoTheTextAndBlinks) {
    show(numberedLines(30, 20));
    CommonViewComponentCaret& caret = component->getCaret();
    caret.setPosition(FilePosition(0, 0));
    EXPECT_EQ(caret.getPosition(), FilePosition(1, 1));
    caret.setPosition(FilePosition(500, 999));
    EXPECT_EQ(caret.getPosition(), FilePosition(layout().getRecLength(), 30));
    EXPECT_EQ(caret.getMark(), caret.getPosition());
    caret.setPosition(FilePosition(3, 2));
    caret.movePosition(FilePosition(7, 4));
    EXPECT_EQ(caret.getMark(), FilePosition(3, 2));
    EXPECT_EQ(component->getHighlighter().getStartPosition(), FilePosition(3, 2));
    EXPECT_EQ(component->getHighlighter().getEndPosition(), FilePosition(7, 4));

    // Drawn as one pixel-wide line while in its visible phase.
    caret.setPosition(FilePosition(2, 3));
    component->getHighlighter().clear();
    ASSERT_TRUE(caret.isVisible());
    EXPECT_EQ(snapshot().pixelColor(X(2), Y(3) + 2), QColor(Qt::red));
    EXPECT_TRUE(caret.isBlinking());
    caret.blink();
    EXPECT_FALSE(caret.isVisible());
    EXPECT_NE(snapshot().pixelColor(X(2), Y(3) + 2), QColor(Qt::red));
    // The timer blinks it again on its own.
    EXPECT_TRUE(QTest::qWaitFor([&] { return caret.isVisible(); }, 2000));
}

TEST_F(TextViewTest, ColourPropertiesAndLineChanged) {
    show(numberedLines(30));
    QSignalSpy spy(component, &CommonViewComponent::propertyChanged);
    component->setExecutableColor(Qt::green);
    component->setNonExecutableColor(Qt::darkGray);
    component->setExecutionPointHighlightColor(Qt::magenta);
    component->setSelectionHighlightColor(Qt::yellow);
    component->setExecutionPointAndSelectionIntersectionColor(Qt::blue);
    component->setCaretColor(Qt::black);
    component->setLeftMarginColor(Qt::lightGray);
    component->setLeftMarginColor(Qt::lightGray);
    const QStringList keys{"dbg.executableColor",
                           "dbg.nonExecutableColor",
                           "dbg.executablePointHighlightColor",
                           "dbg.selectionHighlightColor",
                           "dbg.executionPointAndSelectionIntersectionColor",
                           "dbg.caretColor",
                           "dbg.leftMarginColor"};
    ASSERT_EQ(spy.count(), keys.size());
    for (int i = 0; i < keys.size(); ++i)
        EXPECT_EQ(spy.at(i).at(0).toString(), keys[i]);
    EXPECT_EQ(spy.at(0).at(1).value<QColor>(), QColor(Qt::blue));
    EXPECT_EQ(spy.at(0).at(2).value<QColor>(), QColor(Qt::green));
    EXPECT_EQ(spy.at(6).at(1).value<QColor>(), QColor(152, 152, 152));
    EXPECT_EQ(snapshot().pixelColor(1, 1), QColor(Qt::lightGray));

    // "dbg.lineChanged" repaints one margin cell.
    PaintRegions paints;
    component->installEventFilter(&paints);
    component->repaint(); // what was still to be painted is painted now
    paints.regions.clear();
    component->propertyChange(QStringLiteral("dbg.lineChanged"), 4);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !paints.regions.empty(); }, 2000));
    EXPECT_TRUE(paints.regions[0].contains(layout().lineNumberToMarginRectangle(4)));
    EXPECT_LT(paints.regions[0].boundingRect().height(), 3 * layout().getLineHeight());
    paints.regions.clear();
    component->propertyChange(QStringLiteral("dbg.lineChanged"), QVariant());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !paints.regions.empty(); }, 2000));
    EXPECT_EQ(paints.regions[0].boundingRect(), component->getVisibleRect());
    component->removeEventFilter(&paints);
}

// Output shown as it arrives: the component lays out only what was added, and must end
// up exactly where laying out the whole text would put it.
TEST(TextViewGrowingOutput, AppendedLinesLayOutAsTheWholeTextWould) {
    struct HtmlHost : CommonViewComponentHost {
        const CommonModel* getCommonModel() const override { return &model; }
        bool getFocus() const override { return false; }
        void sendBreakpointInfo(int, bool) override {}
        void refreshSelectedItemMenu() override {}
        HtmlModel model;
    } host;
    CommonViewComponent growing(&host, false);
    growing.setNewLines(&host.model.getLines());
    CommonViewComponent whole(&host, false);

    std::mt19937 random(11);
    auto piece = [&] {
        QString text;
        const int n = static_cast<int>(random() % 120);
        for (int i = 0; i < n; ++i)
            text += random() % 9 == 0 ? u'\n' : QChar(char16_t(u'a' + random() % 26));
        return text;
    };
    for (int round = 0; round < 400; ++round) {
        if (round == 250)
            host.model.clear(); // another page: the list shrinks
        host.model.addText(piece());
        growing.linesAppended();
        whole.setNewLines(&host.model.getLines());
        const auto& g = growing.getLayoutManager();
        const auto& w = whole.getLayoutManager();
        ASSERT_EQ(g.getRecLength(), w.getRecLength()) << "round " << round;
        ASSERT_EQ(g.getRecLength(), w.computeRecLength()) << "round " << round;
        ASSERT_EQ(g.getNumRecords(), w.getNumRecords()) << "round " << round;
        ASSERT_EQ(g.getPreferredSize(), w.getPreferredSize()) << "round " << round;
        ASSERT_EQ(growing.size(), whole.size()) << "round " << round;
    }
    EXPECT_GT(host.model.lineCount(), 20);
}

TEST(TextViewFont, CourierOrTheSystemsFixedFace) {
    const QFont font = CommonViewComponent::defaultFont();
    EXPECT_TRUE(QFontInfo(font).fixedPitch());
    EXPECT_EQ(QFontInfo(font).pointSize(), 13);

    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    testing::internal::CaptureStdout();
    const QFont eastAsian = CommonViewComponent::defaultFont();
    const std::string out = testing::internal::GetCapturedStdout();
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(eastAsian, QApplication::font("QPlainTextEdit"));
    EXPECT_EQ(out, "*** The CommonViewComponentFont is set to: " +
                       eastAsian.toString().toStdString() + "\n");
}

TEST(TextViewImage, BreakpointImageFromTheMonitorInstallPath) {
    const QString committed = QStringLiteral(TRACEWIN_RESOURCES_DIR "/bp.gif");
    QImageReader reader(committed);
    EXPECT_EQ(reader.format(), "gif");
    const QImage gif = reader.read();
    ASSERT_FALSE(gif.isNull()) << reader.errorString().toStdString();
    EXPECT_EQ(gif.size(), QSize(9, 9));

    testsupport::TempDir root;
    const auto monitorDir = root.path() / "jspvlm/tools/com-zet-kwo-ui-jspdebug";
    std::filesystem::create_directories(monitorDir);
    std::filesystem::create_directories(root.path() / "jspvlm/nqc/bin");
    tracehook::SystemProperties::set("java.home", (root.path() / "jspvlm/nqc/bin").string());
    EXPECT_EQ(BreakpointImage::path().toStdString(), (monitorDir / "bp.gif").string());
    // Not installed yet: the stand-in disc marks breakpoints anyway.
    EXPECT_EQ(BreakpointImage::load(BreakpointImage::path()).size(), QSize(9, 9));
    std::filesystem::copy_file(committed.toStdString(), monitorDir / "bp.gif");
    FakeHost host;
    CommonViewComponent component(&host);
    EXPECT_EQ(component.getBreakpointImage().toImage().convertToFormat(QImage::Format_ARGB32),
              gif.convertToFormat(QImage::Format_ARGB32));
    tracehook::SystemProperties::clear("java.home");

    const QImage disc = BreakpointImage::fallback().toImage();
    EXPECT_EQ(disc.pixelColor(4, 4), QColor(0xd0, 0x10, 0x10));
    EXPECT_EQ(disc.pixelColor(0, 0).alpha(), 0);
}

// The component in a view's pane: as large as the viewport whatever the length of the
// text, showing the part the pane's bars point at.
class PaneTextViewTest : public ::testing::Test {
protected:
    void show(SourceLines lines, int rows = 20, int cols = 60) {
        host.model.setLines(std::move(lines));
        pane = std::make_unique<SourcePane>();
        pane->setFrameShape(QFrame::NoFrame);
        pane->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        pane->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        component = new CommonViewComponent(&host, true, pane.get());
        component->setNewLines(&host.model.getLines());
        pane->setWidget(component);
        component->show();
        const auto& l = component->getLayoutManager();
        viewport =
            QSize(l.getSourceAreaStart() + cols * l.getCharWidth(), rows * l.getLineHeight());
        pane->resize(viewport.width() + pane->verticalScrollBar()->sizeHint().width(),
                     viewport.height() + pane->horizontalScrollBar()->sizeHint().height());
        pane->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(pane.get()));
        ASSERT_EQ(pane->viewport()->size(), viewport);
    }
    SourceLines numbered(int count) {
        SourceLines lines;
        lines.reserve(static_cast<std::size_t>(count));
        for (int i = 1; i <= count; ++i)
            lines.push_back(
                std::make_shared<SourceInformation>(host.model, QStringLiteral("line %1").arg(i)));
        return lines;
    }
    const CommonViewComponentLayoutManager& layout() const { return component->getLayoutManager(); }
    // A point of the component (not of the content) in a line's margin cell on screen.
    QPoint marginOnScreen(int line) const {
        return QPoint(5, layout().lineNumberToYCoord(line) - component->contentOffset().y() +
                             layout().getLineHeight() / 2);
    }
    // Whether the text area of what the component shows is painted: its background
    // (most of it) with text on it.
    bool textPainted() const {
        QPixmap shot(component->size());
        shot.fill(Qt::black); // what an unpainted component would leave
        component->render(&shot);
        const QImage image = shot.toImage();
        int ink = 0, all = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = layout().getSourceAreaStart(); x < image.width(); ++x, ++all)
                ink += image.pixelColor(x, y).lightness() < 100;
        return ink > 0 && ink < all / 4;
    }

    FakeHost host;
    std::unique_ptr<SourcePane> pane;
    CommonViewComponent* component = nullptr;
    QSize viewport;
};

TEST_F(PaneTextViewTest, ATextPastTheWidgetHeightLimitScrollsToItsLastLine) {
    // More lines than a widget may be pixels high, at any line height of 16 or more.
    constexpr int kLines = 1100000;
    show(numbered(kLines));
    EXPECT_EQ(component->size(), viewport) << "no widget as tall as the text";
    QScrollBar* bar = pane->verticalScrollBar();
    EXPECT_EQ(bar->maximum(), layout().getPreferredSize().height() - viewport.height());
    EXPECT_EQ(bar->pageStep(), viewport.height());
    EXPECT_EQ(bar->singleStep(), layout().getLineHeight());

    component->makeLineVisible(kLines);
    EXPECT_EQ(component->getLastVisibleLine(), kLines);
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_TRUE(textPainted()) << "the last lines are painted";
    component->displayCurrentFile(kLines / 2);
    EXPECT_EQ(component->getFirstVisibleLine(), kLines / 2);

    // A press lands on the line shown under it, not on the line of the widget's pixel.
    const int line = kLines / 2 + 3;
    QTest::mouseClick(component, Qt::LeftButton, {}, marginOnScreen(line));
    EXPECT_EQ(component->getCaret().getPosition().line, line);
    QTest::mouseDClick(component, Qt::LeftButton, {}, marginOnScreen(line));
    EXPECT_TRUE(component->getBreakpointState(line));
    ASSERT_EQ(host.sent.size(), 1u);
    EXPECT_EQ(host.sent[0], std::make_pair(line, true));
}

TEST_F(PaneTextViewTest, ALineOfMegabytesShowsTheColumnsInView) {
    QString longLine(2000000, u'a');
    longLine.replace(1500000, 3, QStringLiteral("XYZ"));
    SourceLines lines = numbered(3);
    lines.push_back(std::make_shared<SourceInformation>(host.model, longLine));
    show(std::move(lines));
    EXPECT_EQ(component->size(), viewport);
    EXPECT_EQ(pane->horizontalScrollBar()->maximum(),
              layout().getPreferredSize().width() - viewport.width());

    component->highlight(4, 1500001, 4, 1500003);
    EXPECT_LE(component->getFirstVisibleCol(), 1500001);
    EXPECT_GE(component->getLastVisibleCol(), 1500003);
    EXPECT_EQ(component->getHighlighter().asString(), "XYZ");
    EXPECT_TRUE(textPainted()) << "the text at the far columns is painted";
    // A click there lands on the column under it.
    const QRect xyz = *layout().filePositionToRectangle(FilePosition(1500002, 4));
    QTest::mouseClick(component, Qt::LeftButton, {}, xyz.center() - component->contentOffset());
    EXPECT_EQ(component->getCaret().getPosition(), FilePosition(1500002, 4));
}

TEST_F(PaneTextViewTest, AComponentTakenOutAndPutBackComesBackWhereItWas) {
    SourceLines lines = numbered(500);
    lines.push_back(std::make_shared<SourceInformation>(host.model, QString(300, u'w')));
    show(std::move(lines));
    component->displayCurrentFile(300);
    pane->horizontalScrollBar()->setValue(40);
    const int top = component->getFirstVisibleLine();
    const QPoint offset = component->contentOffset();
    ASSERT_EQ(offset.x(), 40);
    SourcePane& p = *pane;
    auto* other = new CommonViewComponent(&host, true, &p);
    p.setWidget(other);
    other->show();
    EXPECT_EQ(p.verticalScrollBar()->value(), 0) << "the other text starts at its top";
    EXPECT_EQ(other->size(), viewport);
    p.setWidget(component);
    component->show();
    EXPECT_EQ(component->getFirstVisibleLine(), top);
    EXPECT_EQ(component->contentOffset(), offset) << "across and down";
    EXPECT_EQ(component->size(), viewport);
    delete other;
}

// ---- Numbered lines, colours, sideways scrolling and the background of the whole pane.

// The pixels of a line's band (on screen) in columns [x0, x1) that are not the colour given.
int inkIn(const QImage& image, int top, int height, int x0, int x1, const QColor& ground) {
    int ink = 0;
    for (int y = std::max(0, top); y < std::min(image.height(), top + height); ++y)
        for (int x = std::max(0, x0); x < std::min(image.width(), x1); ++x)
            ink += image.pixelColor(x, y) != ground;
    return ink;
}

// The colour of a run of cells that differs most from the background: the ink of its text.
QColor inkColour(const QImage& image, const QRect& cells, const QColor& ground) {
    QColor best = ground;
    int bestDistance = 0;
    for (int y = cells.top(); y <= cells.bottom(); ++y)
        for (int x = cells.left(); x <= cells.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            const int d = std::abs(c.red() - ground.red()) + std::abs(c.green() - ground.green()) +
                          std::abs(c.blue() - ground.blue());
            if (d > bestDistance) {
                bestDistance = d;
                best = c;
            }
        }
    return best;
}

TEST_F(PaneTextViewTest, EveryVisibleLineIsNumberedBesideItsBreakpointMark) {
    show(numbered(250));
    component->setLineNumbersShown(true);
    const auto& l = layout();
    const int cw = l.getCharWidth();
    // Three digits with half a character on each side, right of the marks.
    EXPECT_EQ(l.getLineNumberAreaStart(), 11);
    EXPECT_EQ(l.getLineNumberAreaLength(), 4 * cw);
    EXPECT_EQ(l.getSourceAreaStart(), 11 + 4 * cw + 5);
    EXPECT_EQ(component->size(), viewport);

    component->displayCurrentFile(90);
    QPixmap shot(component->size());
    component->render(&shot);
    const QImage image = shot.toImage();
    const QColor margin = component->getLeftMarginColor();
    const int top = component->contentOffset().y();
    const int numbersLeft = l.getLineNumberAreaStart();
    const int numbersRight = numbersLeft + l.getLineNumberAreaLength();
    ASSERT_LE(component->getFirstVisibleLine(), 95);
    ASSERT_GE(component->getLastVisibleLine(), 105);
    for (int line = component->getFirstVisibleLine(); line <= component->getLastVisibleLine();
         ++line) {
        const int y = l.lineNumberToYCoord(line) - top;
        EXPECT_GT(inkIn(image, y, l.getLineHeight(), numbersLeft, numbersRight, margin), 0)
            << "line " << line << " has its number";
        // Right-aligned: a third digit from line 100 on.
        const int thirdDigit =
            inkIn(image, y, l.getLineHeight(), numbersLeft, numbersLeft + cw + cw / 2, margin);
        EXPECT_EQ(thirdDigit > 0, line >= 100) << "line " << line;
        EXPECT_EQ(inkIn(image, y, l.getLineHeight(), 0, numbersLeft, margin), 0)
            << "the marks' column stays clear";
    }

    // A double click on a number takes a breakpoint, drawn beside it.
    const int line = component->getFirstVisibleLine() + 2;
    const QPoint onNumber(numbersLeft + cw, l.lineNumberToYCoord(line) - top + 8);
    QTest::mouseClick(component, Qt::LeftButton, {}, onNumber);
    QTest::mouseDClick(component, Qt::LeftButton, {}, onNumber);
    EXPECT_TRUE(component->getBreakpointState(line));
    QPixmap marked(component->size());
    component->render(&marked);
    EXPECT_GT(marked.toImage().pixelColor(2 + 4, l.lineNumberToYCoord(line) - top + 5 + 4).red(),
              150);

    // The margin widens with the digits of the last line.
    host.model.setLines(numbered(5));
    component->setNewLines(&host.model.getLines());
    EXPECT_EQ(l.getLineNumberAreaLength(), 3 * cw) << "two digits at least";
    host.model.setLines(numbered(12000));
    component->setNewLines(&host.model.getLines());
    EXPECT_EQ(l.getLineNumberAreaLength(), 6 * cw);
    component->setLineNumbersShown(false);
    EXPECT_EQ(l.getSourceAreaStart(), 16);
}

TEST_F(TextViewTest, NumbersWithoutBreakpointMarksTakeNoBreakpoints) {
    show(numberedLines(30), 20, 60, false);
    component->setLineNumbersShown(true);
    EXPECT_EQ(layout().getLineNumberAreaStart(), 0);
    EXPECT_EQ(layout().getGraphicsAreaLength(), 3 * layout().getCharWidth());
    doubleClick(QPoint(layout().getCharWidth(), Y(3) + 4));
    EXPECT_FALSE(component->getBreakpointState(3));
    EXPECT_TRUE(host.sent.empty());
}

TEST_F(TextViewTest, JspIsColouredByItsElementsAndTheHighlightShowsOverTheColours) {
    const QString line = QStringLiteral("<p>Hello <%= name %> and ${who}</p> <%-- note --%>");
    show({line, QStringLiteral("<% int count = 0; // counted %>")});
    const auto& l = layout();
    const QColor ground = component->getBackground();
    auto cells = [&](int lineNo, const QString& text) {
        const int col = static_cast<int>(layout().lineText(lineNo).indexOf(text)) + 1;
        return QRect(X(col), Y(lineNo), static_cast<int>(text.size()) * l.getCharWidth(),
                     l.getLineHeight());
    };
    // Plain: one colour for all.
    QImage image = snapshot();
    EXPECT_EQ(inkColour(image, cells(1, "Hello"), ground),
              inkColour(image, cells(1, "name"), ground));

    component->setLanguage(SourceLanguage::Jsp);
    image = snapshot();
    const QColor text = inkColour(image, cells(1, "Hello"), ground);
    const QColor expression = inkColour(image, cells(1, "name"), ground);
    EXPECT_NE(text, expression) << "an expression is not template text";
    EXPECT_NE(inkColour(image, cells(1, "<p>"), ground), text) << "tags";
    EXPECT_NE(inkColour(image, cells(1, "who"), ground), text) << "expression language";
    EXPECT_NE(inkColour(image, cells(1, "note"), ground), text) << "comments";
    EXPECT_NE(inkColour(image, cells(2, "int"), ground),
              inkColour(image, cells(2, "count"), ground))
        << "Java keywords in a scriptlet";

    // The executing span's fill stays under coloured text.
    component->highlight(1, 10, 1, 20);
    image = snapshot();
    const QRect span = cells(1, "<%= name %>");
    EXPECT_EQ(image.pixelColor(span.left() + 1, span.top() + 1),
              component->getSelectionHighlightColor());
    EXPECT_EQ(image.pixelColor(span.right() - 1, span.top() + 1),
              component->getSelectionHighlightColor());
}

TEST_F(TextViewTest, AHighlightScrollsSidewaysOnlyWhenOutOfViewAndThenAsLittleAsItMay) {
    show(numberedLines(200, 300));
    const int cw = layout().getCharWidth();
    const int viewWidth = area->viewport()->width();

    // In view across: down only, the lines' starts stay.
    component->highlight(120, 40, 120, 50);
    EXPECT_EQ(vValue(), Y(120));
    EXPECT_EQ(hValue(), 0);
    EXPECT_EQ(component->getFirstVisibleCol(), 1);

    // Past the right edge: just far enough for its end and three columns after it.
    component->highlight(130, 70, 130, 75);
    EXPECT_EQ(hValue(), X(75) + cw + 3 * cw - viewWidth);
    EXPECT_LE(component->getFirstVisibleCol(), 70);
    EXPECT_GE(component->getLastVisibleCol(), 78);
    // Now in view: nothing moves.
    const int across = hValue();
    component->highlight(131, 60, 131, 72);
    EXPECT_EQ(hValue(), across);
    // Back to the left: the start of the line comes with it.
    component->highlight(132, 5, 132, 8);
    EXPECT_EQ(hValue(), 0);
    // Wider than the view: its start, with three columns before it.
    component->highlight(133, 100, 133, 250);
    EXPECT_EQ(hValue(), X(97));
    // Over several lines, its first line's part counts.
    area->horizontalScrollBar()->setValue(0);
    component->highlight(140, 20, 145, 200);
    EXPECT_EQ(hValue(), 0);
}

// A statement longer than the view that starts near its line's start, as a scriptlet's
// line often does: the lines' starts stay in view, as does the statement's.
TEST_F(TextViewTest, AWideSpanNearTheLineStartKeepsTheLinesStartsInView) {
    show(numberedLines(200, 300));
    component->highlight(150, 5, 150, 250);
    EXPECT_EQ(hValue(), 0);
    EXPECT_EQ(component->getFirstVisibleCol(), 1);
    // Also when the view was scrolled away to the right.
    area->horizontalScrollBar()->setValue(area->horizontalScrollBar()->maximum());
    component->highlight(151, 5, 151, 250);
    EXPECT_EQ(hValue(), 0);
}

// Scrolled sideways, the margin stays at the view's left edge as in editors: its marks and
// numbers show, it takes breakpoints there, and a span scrolled to shows beside it.
TEST_F(PaneTextViewTest, TheMarginStaysInViewWhenTheTextScrollsSideways) {
    SourceLines lines;
    for (int i = 1; i <= 30; ++i)
        lines.push_back(
            std::make_shared<SourceInformation>(host.model, QString(300, QChar(u'a' + i % 26))));
    show(std::move(lines));
    pane->horizontalScrollBar()->setValue(pane->horizontalScrollBar()->maximum());
    ASSERT_GT(component->contentOffset().x(), layout().getSourceAreaStart());

    QTest::mouseDClick(component, Qt::LeftButton, {}, marginOnScreen(4));
    EXPECT_TRUE(component->getBreakpointState(4)) << "the margin on screen takes breakpoints";
    const QImage shown = pane->viewport()->grab().toImage();
    const QPoint markCentre(CommonViewComponent::BREAKPOINT_IMAGE_X + 4,
                            layout().lineNumberToYCoord(4) +
                                CommonViewComponent::BREAKPOINT_IMAGE_Y + 4);
    EXPECT_GT(shown.pixelColor(markCentre).red(), 150) << "the mark is drawn at the left edge";
    EXPECT_EQ(shown.pixelColor(1, 1), component->getLeftMarginColor());

    // A span left of the view comes back into view clear of the margin.
    component->highlight(10, 100, 10, 104);
    const int offset = component->contentOffset().x();
    EXPECT_GE(layout().sourcePositionToXCoord(100) - offset, layout().getSourceAreaStart());
    EXPECT_LE(layout().sourcePositionToXCoord(105) - offset, viewport.width());
    // One hidden under the margin is not in view: the text moves until it is clear of it.
    pane->horizontalScrollBar()->setValue(layout().sourcePositionToXCoord(200) -
                                          layout().getSourceAreaStart() + layout().getCharWidth());
    component->highlight(11, 200, 11, 202);
    EXPECT_GE(layout().sourcePositionToXCoord(200) - component->contentOffset().x(),
              layout().getSourceAreaStart());
}

// Scrolled down a long text, a moved highlight repaints its lines where they show.
TEST_F(PaneTextViewTest, AMovedHighlightRepaintsItsLinesWhereTheyShow) {
    show(numbered(500));
    pane->verticalScrollBar()->setValue(layout().lineNumberToYCoord(200));
    component->highlight(205, 1, 205, 4);
    component->repaint();
    PaintRegions paints;
    component->installEventFilter(&paints);
    component->highlight(210, 1, 210, 4);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !paints.regions.empty(); }, 2000));
    auto shownRow = [&](int line) {
        return QRect(0, layout().lineNumberToYCoord(line) - component->contentOffset().y(),
                     component->width(), layout().getLineHeight());
    };
    EXPECT_TRUE(paints.regions[0].contains(shownRow(205)));
    EXPECT_TRUE(paints.regions[0].contains(shownRow(210)));
    EXPECT_FALSE(paints.regions[0].intersects(shownRow(215)));
    component->removeEventFilter(&paints);
}

TEST_F(PaneTextViewTest, TheWholeViewportIsPaintedInTheTextsBackground) {
    show(numbered(3));
    const QColor ground(250, 250, 235);
    component->setBackground(ground);
    const QImage image = pane->viewport()->grab().toImage();
    ASSERT_EQ(image.size(), viewport);
    // Right of the text and below its last line.
    EXPECT_EQ(image.pixelColor(image.width() - 1, image.height() - 1), ground);
    EXPECT_EQ(image.pixelColor(image.width() / 2, image.height() - 1), ground);
    EXPECT_EQ(image.pixelColor(image.width() - 1, 1), ground);
}

// A pane's bars show while its client reaches past the viewport and hide once it fits
// again; a text that grows a line at a time does not queue a layout of the bars per line.
TEST(SourcePane, BarsShowAndHideAsTheRangesAskWithoutALayoutPerChange) {
    SourcePane pane;
    pane.setWidget(new QWidget);
    pane.resize(300, 200);
    pane.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&pane));
    QScrollBar* bar = pane.verticalScrollBar();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !bar->isVisible(); }, 3000)) << "at rest";

    struct : QObject {
        int queuedCalls = 0;
        bool eventFilter(QObject*, QEvent* event) override {
            queuedCalls += event->type() == QEvent::MetaCall;
            return false;
        }
    } counter;
    pane.installEventFilter(&counter);
    for (int lines = 1; lines <= 200; ++lines) {
        bar->setRange(0, lines * 16);
        QCoreApplication::processEvents();
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return bar->isVisible(); }, 3000));
    EXPECT_LE(counter.queuedCalls, 1) << "one layout, when the bar came to be needed";

    bar->setRange(0, 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !bar->isVisible(); }, 3000));
    pane.removeEventFilter(&counter);
}

} // namespace
