#pragma once

#include "core/fileposition.h"
#include "views/linelist.h"

#include <QFontMetrics>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <optional>
#include <vector>

namespace tracewin {

class CommonViewComponent;

// The geometry of a source text component: fixed-height lines in a fixed-pitch grid, a
// margin on the left (breakpoint marks, then line numbers when shown), then a small gap,
// then the text. Every conversion is
// arithmetic on the line height and character width, so its cost never depends on the
// length of the text. Lines and columns are 1-based; columns count UTF-16 characters.
class CommonViewComponentLayoutManager {
public:
    static constexpr int SPACER = 5;
    static constexpr int BREAK_AREA_WIDTH = 11;
    static constexpr int BREAK_AREA_HEIGHT = 16;

    // The line list is the model's; it must outlive the layout or be replaced first.
    CommonViewComponentLayoutManager(CommonViewComponent& component, const LineList* lines);

    void setLines(const LineList* lines) {
        lines_ = lines;
        forgetMeasuredLines();
    }
    const LineList* getLines() const { return lines_; }
    bool hasLines() const { return lines_ != nullptr; }
    // The view text of a line, or an empty text beyond the list; valid until it changes.
    CharsView lineView(int line) const;
    QString lineText(int line) const { return toQString(lineView(line)); }

    // Recomputes every value from the component's font and the line list.
    void reCalculate();
    // Brings the values up to date after lines were only added at the end of the list and
    // the last line may have grown: the cost depends on the lines added, not on the whole
    // text. A list that shrank is measured again whole.
    void linesAppended();
    // Brings the values up to date after the lines from a 0-based index on were replaced,
    // removed or added; the lines before it must be as they were.
    void linesChangedFrom(std::size_t firstChanged);
    // The longest line, grown to a line's length + 1 whenever a line is longer than the
    // value found so far.
    int computeRecLength() const;

    // Views without breakpoints use a margin of width 0.
    void setBreakAreaWidth(int width) { breakAreaDim_.setWidth(width); }
    QSize getBreakAreaDim() const { return breakAreaDim_; }
    // Line numbers in the margin, right of the breakpoint marks; the margin grows with the
    // number of digits of the last line. Takes effect at the next calculation.
    void setShowLineNumbers(bool show) { showLineNumbers_ = show; }
    bool getShowLineNumbers() const { return showLineNumbers_; }
    // The part of the margin the numbers are drawn in (width 0 when they are not shown).
    int getLineNumberAreaStart() const { return breakAreaDim_.width(); }
    int getLineNumberAreaLength() const { return lineNumberAreaLength_; }

    int getNumRecords() const { return numRecords_; }
    int getRecLength() const { return recLength_; }
    int getLineHeight() const { return lineHeight_; }
    int getTextHeight() const { return textHeight_; }
    int getCharWidth() const { return charWidth_; }
    int getGraphicsAreaStart() const { return graphicsAreaStart_; }
    int getGraphicsAreaLength() const { return graphicsAreaLength_; }
    int getSourceAreaStart() const { return sourceAreaStart_; }
    int getSourceAreaLength() const { return sourceAreaLength_; }
    int getSourceCharacterLength() const { return sourceCharacterLength_; }
    int getTextWriterAdjustment() const { return textWriterAdjustment_; }
    QSize getPreferredSize() const { return preferredSize_; }

    int yCoordToLineNumber(int y) const;
    int lineNumberToYCoord(int line) const;
    // -1 left of the text.
    int xCoordToSourcePosition(int x) const;
    int sourcePositionToXCoord(int column) const;
    int numberOfLines(int height) const;
    int numberOfCol(int width) const;

    int firstVisibleLine(const QRect& r) const;
    int lastVisibleLine(const QRect& r) const;
    // A rectangle that begins in the margin or the gap begins at column 1; one that ends
    // left of the text shows no column (0).
    int firstVisibleCol(const QRect& r) const;
    int lastVisibleCol(const QRect& r) const;
    // Fully visible lines and columns of the viewport; 0 outside a scroll area.
    int getMaxNumOfDisplayLines() const;
    int getMaxNumOfDisplayCol() const;

    bool isPointContainedInSourceArea(const QPoint& p) const;
    bool isPointContainedInGraphicsArea(const QPoint& p) const;
    std::optional<FilePosition> pointToFilePosition(const QPoint& p) const;
    // As pointToFilePosition, but column 1 of the line in the margin.
    std::optional<FilePosition> pointToRelativeFilePosition(const QPoint& p) const;
    QPoint filePositionToPoint(const FilePosition& fp) const;
    std::optional<QRect> filePositionToRectangle(const FilePosition& fp) const;
    std::optional<QRect> filePositionToRectangle(const FilePosition& from,
                                                 const FilePosition& to) const;
    // The whole line, margin included, and the line's text part.
    QRect lineNumberToRectangle(int line) const;
    QRect lineNumberSourceToRectangle(int line) const;
    // The margin cell of a line.
    QRect lineNumberToMarginRectangle(int line) const;

private:
    // The record length rule applied to one more line.
    static int grownRecLength(int length, CharsView line);
    // Measures the lines from the first not yet measured to the end of the list.
    void measureNewLines();
    void forgetMeasuredLines() {
        measuredLines_ = 0;
        recLengthGrowth_.clear();
    }
    // The sizes that follow from the line count and the record length.
    void updateExtent();

    CommonViewComponent& comViewComponent_;
    const LineList* lines_;
    QFontMetrics fontMetrics_;
    int numRecords_ = 0;
    int recLength_ = 0;
    // The lines measured so far, and each 0-based line among them where the record length
    // grew, with the length through it: lines changing at the end are measured alone, and
    // a text of millions of lines keeps a handful of entries, not one per line.
    struct RecLengthGrowth {
        std::size_t line;
        int length;
    };
    std::size_t measuredLines_ = 0;
    std::vector<RecLengthGrowth> recLengthGrowth_;
    int lineHeight_ = 0;
    int textHeight_ = 0;
    int charWidth_ = 0;
    int graphicsAreaStart_ = 0;
    int graphicsAreaLength_ = 0;
    int sourceAreaStart_ = 0;
    int sourceAreaLength_ = 0;
    int sourceCharacterLength_ = 0;
    int textWriterAdjustment_ = 0;
    QSize breakAreaDim_{BREAK_AREA_WIDTH, BREAK_AREA_HEIGHT};
    bool showLineNumbers_ = false;
    int lineNumberAreaLength_ = 0;
    QSize preferredSize_{100, 1000};
};

} // namespace tracewin
