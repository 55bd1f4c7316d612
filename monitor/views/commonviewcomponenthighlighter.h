#pragma once

#include "core/fileposition.h"

#include <QRect>
#include <QString>
#include <optional>
#include <vector>

class QPainter;
class QPoint;

namespace tracewin {

class CommonViewComponent;
class CommonViewComponentLayoutManager;

// The rectangle a span from s to e (inclusive) covers on one of its lines: the first line
// from its column to the right end of the text area, the lines between whole, the last
// line up to its column. None when the line shows nothing of it.
std::optional<QRect> spanRectangleOnLine(const CommonViewComponentLayoutManager& layout,
                                         const FilePosition& s, const FilePosition& e, int line);

// The one highlighted span of a source text component (the executing JSP span, the
// executing Java line or an HTML tag), inclusive at both ends.
class CommonViewComponentHighlighter {
public:
    explicit CommonViewComponentHighlighter(CommonViewComponent& component);

    // Highlights from the earlier of the two positions to the later; equal positions
    // clear the highlight.
    void highlight(const FilePosition& a, const FilePosition& b);
    void clear();
    bool isClear() const { return !startPos_; }
    std::optional<FilePosition> getStartPosition() const { return startPos_; }
    std::optional<FilePosition> getEndPosition() const { return endPos_; }

    // One rectangle per line of the span: the first line from its column to the right
    // end of the text area, the lines between whole, the last line up to its column.
    std::vector<QRect> getHighlights() const;
    // Fills the parts of the highlight that meet the clip; only the lines in the clip are
    // looked at, however long the span.
    void paint(QPainter& painter, const QRect& clip) const;
    bool isInHighlight(const FilePosition& fp) const;
    bool isInHighlight(const QPoint& p) const;
    // The union of the highlight rectangles that meet r (empty when none does).
    QRect highlightsIntersection(const QRect& r) const;
    // The highlighted text, lines joined by line feeds.
    QString asString() const;

private:
    // The highlight rectangle on one line of the span, if that line shows any.
    std::optional<QRect> lineRectangle(int line) const;
    // Calls fn for each line of the span whose rectangle may meet r; the number of calls
    // depends on r's height only.
    template <class Fn> void forEachLineMeeting(const QRect& r, Fn&& fn) const;
    // Asks for the lines of the span to be painted again.
    void repaintLines() const;

    CommonViewComponent& comViewComponent_;
    std::optional<FilePosition> startPos_;
    std::optional<FilePosition> endPos_;
};

} // namespace tracewin
