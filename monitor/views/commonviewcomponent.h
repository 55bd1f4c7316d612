#pragma once

#include "core/breakpoints.h"
#include "views/commonmodel.h"
#include "views/syntaxcolouring.h"

#include <QColor>
#include <QPixmap>
#include <QVariant>
#include <QWidget>
#include <memory>
#include <optional>
#include <vector>

class QAbstractScrollArea;

namespace tracewin {

class CommonViewComponentCaret;
class CommonViewComponentHighlighter;
class CommonViewComponentHost;
class CommonViewComponentInputController;
class CommonViewComponentLayoutManager;
class CommonViewComponentMarks;
class SourcePane;

// The read-only source display that a source view puts into its scroll area: the lines
// of a model in a fixed-pitch font, a grey margin carrying breakpoint marks, one
// highlighted span and a blinking caret. Painting touches only the lines and columns that
// meet the clip, so its cost does not depend on the length of the text.
//
// Positions are in content coordinates: the text laid out from (0, 0), as the layout
// manager gives them. In a SourcePane the component is as large as the viewport and shows
// the part of the content the pane's bars point at, whatever the length of the text; in a
// plain QScrollArea (or alone) it is as large as its content, and the area moves it.
class CommonViewComponent : public QWidget {
    Q_OBJECT

public:
    // Keys of the colour property notifications, and the one the component listens to.
    static constexpr const char* EXECUTABLE_COLOR = "dbg.executableColor";
    static constexpr const char* NON_EXECUTABLE_COLOR = "dbg.nonExecutableColor";
    static constexpr const char* EXECUTION_POINT_HIGHLIGHT_COLOR =
        "dbg.executablePointHighlightColor";
    static constexpr const char* SELECTION_HIGHLIGHT_COLOR = "dbg.selectionHighlightColor";
    static constexpr const char* EXECUTION_POINT_AND_SELECTION_INTERSECTION_COLOR =
        "dbg.executionPointAndSelectionIntersectionColor";
    static constexpr const char* CARET_COLOR = "dbg.caretColor";
    static constexpr const char* LEFT_MARGIN_COLOR = "dbg.leftMarginColor";
    static constexpr const char* LINE_CHANGED = "dbg.lineChanged";
    // Margin mark offset inside its cell.
    static constexpr int BREAKPOINT_IMAGE_X = 2;
    static constexpr int BREAKPOINT_IMAGE_Y = 5;

    // The form with the breakpoint margin (the JSP view).
    explicit CommonViewComponent(CommonViewComponentHost* parent, QWidget* parentWidget = nullptr);
    // withBreakpointMargin false: the margin-less form (Java, HTML and tag-stack views).
    CommonViewComponent(CommonViewComponentHost* parent, bool withBreakpointMargin,
                        QWidget* parentWidget = nullptr);
    ~CommonViewComponent() override;

    // The display font: "Courier" 13 points, or the system's fixed-pitch face when no
    // fixed-pitch Courier is installed; in Japanese, Chinese and Korean locales the
    // default font of a plain text area.
    static QFont defaultFont();

    // The line list is the model's and must outlive the component or be replaced first;
    // null shows nothing.
    void showLines(const LineList* lines);
    // The same for line objects: the host model's own are read through the model's line
    // list, so that they follow the model as it changes.
    void setNewLines(const SourceLines* lines);
    // The shown list only grew at its end (its last line may also have grown): lays out
    // the new part only, so that output arriving piece by piece costs the same from the
    // first piece to the last.
    void linesAppended();
    // The lines from a 0-based index on were replaced, removed or added; those before it
    // are as they were.
    void linesChangedFrom(std::size_t firstChanged);
    void setNewFont(const QFont& font);
    // Colours the text as the language's tokens (plain by default).
    void setLanguage(SourceLanguage language);
    SourceLanguage getLanguage() const { return language_; }
    // Numbers the lines in the margin, right of the breakpoint marks.
    void setLineNumbersShown(bool shown);
    bool getLineNumbersShown() const;
    // Shows the text from `line` with the caret at its start.
    void displayCurrentFile(int line);
    // Highlights (startPos, startLine) to (endPos, endLine), inclusive, and brings it into
    // view: down, its first line on top when that is not fully visible; across, only when
    // its part on the first line is not visible, and then as little as shows it, keeping as
    // much of the line's start in view as the span allows.
    void highlight(int startLine, int startPos, int endLine, int endPos);
    // Scrolls so that `line` is the last fully visible line (or the text's top).
    void makeLineVisible(int line);
    // The breakpoint lines the margin shows and edits: those of the session's file when the
    // view gives them, else a list of the component's own.
    void setBreakpoints(std::shared_ptr<BreakpointLst> lines);
    bool getBreakpointState(int line) const { return breakpoints_->contains(line); }
    // Toggles the breakpoint of the line under p; blank lines beep and take none.
    void setBreakpoint(const QPoint& p);
    // Asks the view for the breakpoint menu of the line under p (content coordinates);
    // blank lines beep.
    void showBreakpointMenu(const QPoint& p, const QPoint& globalPos);
    // Sets or clears the breakpoint of a line as setBreakpoint does, for the menu.
    void toggleBreakpoint(int line);

    // The two scrollLineToVisible forms may be called from any thread: the scroll then
    // runs later on the component's thread. Everything else belongs to that thread.
    // Puts `line` at the top of the viewport, scrolled fully left.
    void scrollLineToVisible(int line);
    // Puts the span at the top-left of the viewport with three columns of context; a span
    // in the first columns shows the margin as well.
    void scrollLineToVisible(int startLine, int startCol, int endLine, int endCol);
    // Scrolls as little as needed for r to be visible.
    void scrollRectToVisible(const QRect& r);
    bool posRequiresScrolling(int line, int col) const;

    // The content position shown at the component's top-left corner: a point of the
    // component plus this offset is a point of the content.
    QPoint contentOffset() const;
    // Repaints a rectangle given in content coordinates.
    void updateContent(const QRect& contentRect);

    // -1 when the component is not inside a scroll area.
    int getFirstVisibleLine() const;
    int getLastVisibleLine() const;
    int getFirstVisibleCol() const;
    int getLastVisibleCol() const;
    // The part of the content inside the viewport, in content coordinates.
    std::optional<QRect> getVisibleRect() const;
    std::optional<QSize> viewportSize() const;
    // The scroll area whose viewport holds the component: a SourcePane or a QScrollArea.
    QAbstractScrollArea* getScrollArea() const;

    // Replaces the mouse and key listener (a view that reacts to clicks in its own way).
    void setInputController(std::unique_ptr<CommonViewComponentInputController> controller);

    CommonViewComponentHost* getView() const { return parent_; }
    CommonViewComponentInputController& getInputController() const { return *inputController_; }
    CommonViewComponentHighlighter& getHighlighter() const { return *highlighter_; }
    CommonViewComponentMarks& getMarks() const { return *marks_; }
    CommonViewComponentLayoutManager& getLayoutManager() const { return *layoutManager_; }
    CommonViewComponentCaret& getCaret() const { return *caret_; }
    const BreakpointLst& getBreakpointList() const { return *breakpoints_; }
    const QPixmap& getBreakpointImage() const { return breakpointImage_; }
    QFont getFont() const { return font(); }

    QColor getExecutableColor() const { return executableColor_; }
    QColor getNonExecutableColor() const { return nonExecutableColor_; }
    QColor getExecutionPointHighlightColor() const { return executionPointHighlightColor_; }
    QColor getSelectionHighlightColor() const { return selectionHighlightColor_; }
    QColor getExecutionPointAndSelectionIntersectionColor() const {
        return executionPointAndSelectionIntersectionColor_;
    }
    QColor getCaretColor() const { return caretColor_; }
    QColor getLeftMarginColor() const { return leftMarginColor_; }
    QColor getLineNumberColor() const { return lineNumberColor_; }
    void setLineNumberColor(const QColor& c);
    void setExecutableColor(const QColor& c);
    void setNonExecutableColor(const QColor& c);
    void setExecutionPointHighlightColor(const QColor& c);
    void setSelectionHighlightColor(const QColor& c);
    void setExecutionPointAndSelectionIntersectionColor(const QColor& c);
    void setCaretColor(const QColor& c);
    void setLeftMarginColor(const QColor& c);
    // The colour behind the text (the views use the tree background of the style).
    void setBackground(const QColor& c);
    QColor getBackground() const;

    // Scrollable-client answers: a line or a character per step, a viewport per page.
    int getScrollableUnitIncrement(Qt::Orientation orientation) const;
    int getScrollableBlockIncrement(Qt::Orientation orientation) const;
    QSize getPreferredScrollableViewportSize() const { return sizeHint(); }
    QSize sizeHint() const override;

    // The caret went to another line.
    void caretLineChanged();
    // Sounds the system beep (and tells whoever listens to beeped()).
    void beep();

public slots:
    // "dbg.lineChanged" with a line number repaints that line's margin cell; without a
    // number, the whole component. Other names are ignored.
    void propertyChange(const QString& name, const QVariant& newValue);

    // Asks for the whole component to be painted again. Asking again before that paint
    // costs nothing: in Fast forward each record moves the highlight, and a hundred records
    // come between two paints.
    void repaintWhole();
    // Asks for lines first to last (1-based) to be painted again, across the whole width:
    // a highlight that moves between a few lines repaints only those. Lines asked for
    // already since the last paint cost nothing more.
    void repaintLines(int first, int last);

signals:
    void propertyChanged(const QString& name, const QVariant& oldValue, const QVariant& newValue);
    void beeped();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

private:
    bool wholeRepaintAsked_ = false; // since the last paint
    // The lines asked for by repaintLines since the last paint, if any.
    std::optional<std::pair<int, int>> linesRepaintAsked_;
    // The pane the component shows its content through, if it is in one's viewport.
    SourcePane* pane() const;
    // The part of the content inside the viewport of area, the component's scroll area.
    QRect visibleRectIn(const QAbstractScrollArea& area) const;
    // Binds to the bars of the pane it was put in (or lets go of them when taken out).
    void followPane();
    // The bars' ranges and steps for the content and the viewport, in a pane.
    void updateScrollRanges();
    void scrolledTo(const QPoint& origin);
    void setColor(QColor& field, const QColor& c, const char* key, bool repaint);
    // Gives the enclosing scroll area's bars one line and one character per step.
    void applyScrollSteps() const;
    // Follows a change of the layout: the component's size (or the pane's bars), and a
    // repaint.
    void followLayout(const QSize& sizeBefore);
    void fitToContent();
    void bringSpanIntoView(int startLine, int startPos, int endLine, int endPos);
    void paintLines(QPainter& painter, const QRect& clip) const;
    // The breakpoint marks and line numbers; the clip in the margin's own coordinates.
    void paintMargin(QPainter& painter, const QRect& clip) const;
    void paintLineNumber(QPainter& painter, int line, int y) const;
    // Draws the shown columns of a line, in the colours of its tokens.
    void paintText(QPainter& painter, int line, int col, QStringView shown, int baseline) const;
    bool isBlankLine(int line) const;

    CommonViewComponentHost* parent_;
    std::unique_ptr<CommonViewComponentInputController> inputController_;
    std::unique_ptr<CommonViewComponentHighlighter> highlighter_;
    std::unique_ptr<CommonViewComponentMarks> marks_;
    std::unique_ptr<CommonViewComponentLayoutManager> layoutManager_;
    // Line objects that are not the host model's, as a line list.
    std::unique_ptr<SourceLinesList> otherLines_;
    std::unique_ptr<CommonViewComponentCaret> caret_;
    std::shared_ptr<BreakpointLst> breakpoints_ = std::make_shared<BreakpointLst>();
    QPixmap breakpointImage_;
    QPixmap conditionalBreakpointImage_; // the mark of a breakpoint with a condition
    // Declared for deferred breakpoints, the execution arrow and a custom cursor; the
    // execution point is shown by the highlight alone, so they stay empty.
    QPixmap deferredBreakpointImage_, cursorImage_, arrowBreakpointImage_;
    QColor executableColor_{Qt::blue};
    QColor nonExecutableColor_{Qt::black};
    QColor executionPointHighlightColor_{Qt::blue};
    QColor selectionHighlightColor_{Qt::cyan};
    QColor executionPointAndSelectionIntersectionColor_{Qt::yellow};
    QColor caretColor_{Qt::red};
    QColor leftMarginColor_{152, 152, 152};
    QColor lineNumberColor_{0x80, 0x80, 0x80};
    SourceLanguage language_ = SourceLanguage::Plain;
    // Lexes lazily while painting; it keeps what it learnt about the lines between paints.
    mutable std::unique_ptr<SyntaxColouring> colouring_;
    // The content position at the top-left of the viewport while in a pane; kept while
    // the component is out of it, so that it comes back where it was.
    QPoint origin_;
    std::vector<QMetaObject::Connection> paneConnections_;
};

} // namespace tracewin
