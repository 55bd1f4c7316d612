#include "views/commonviewcomponenthighlighter.h"

#include "views/commonviewcomponent.h"
#include "views/commonviewcomponentlayoutmanager.h"

#include <QPainter>
#include <algorithm>

namespace tracewin {

CommonViewComponentHighlighter::CommonViewComponentHighlighter(CommonViewComponent& component)
    : comViewComponent_(component) {}

void CommonViewComponentHighlighter::highlight(const FilePosition& a, const FilePosition& b) {
    if (a == b) {
        clear();
        return;
    }
    const FilePosition start = std::min(a, b);
    const FilePosition end = std::max(a, b);
    if (startPos_ == start && endPos_ == end)
        return;
    repaintLines();
    startPos_ = start;
    endPos_ = end;
    repaintLines();
}

void CommonViewComponentHighlighter::clear() {
    repaintLines();
    startPos_.reset();
    endPos_.reset();
}

void CommonViewComponentHighlighter::repaintLines() const {
    if (startPos_)
        comViewComponent_.repaintLines(startPos_->line, endPos_->line);
}

std::optional<QRect> spanRectangleOnLine(const CommonViewComponentLayoutManager& layout,
                                         const FilePosition& s, const FilePosition& e, int line) {
    if (line < s.line || line > e.line)
        return std::nullopt;
    const int y = layout.lineNumberToYCoord(line);
    const int h = layout.getLineHeight();
    const int cw = layout.getCharWidth();
    if (s.line == e.line) {
        const int x = layout.sourcePositionToXCoord(s.pos);
        return QRect(x, y, layout.sourcePositionToXCoord(e.pos) + cw - x + 1, h);
    }
    const int rightEnd = layout.getPreferredSize().width();
    if (line == s.line) {
        const int x = layout.sourcePositionToXCoord(s.pos);
        return QRect(x, y, rightEnd - x, h);
    }
    const int x1 = layout.sourcePositionToXCoord(1);
    if (line < e.line)
        return QRect(x1, y, rightEnd - x1, h);
    if (e.pos < 1)
        return std::nullopt;
    return QRect(x1, y, layout.sourcePositionToXCoord(e.pos) + cw + 1 - x1, h);
}

std::optional<QRect> CommonViewComponentHighlighter::lineRectangle(int line) const {
    if (!startPos_)
        return std::nullopt;
    return spanRectangleOnLine(comViewComponent_.getLayoutManager(), *startPos_, *endPos_, line);
}

template <class Fn>
void CommonViewComponentHighlighter::forEachLineMeeting(const QRect& r, Fn&& fn) const {
    const CommonViewComponentLayoutManager& layout = comViewComponent_.getLayoutManager();
    if (!startPos_ || !layout.hasLines())
        return;
    const int last = std::min(endPos_->line, layout.lastVisibleLine(r));
    for (int line = std::max(startPos_->line, layout.firstVisibleLine(r)); line <= last; ++line)
        fn(line);
    // Lines past the end of the text all sit at the text's bottom edge: one line of each
    // kind (first, between, last) stands for them.
    if (endPos_->line > last && last >= layout.getNumRecords()) {
        if (startPos_->line > last)
            fn(startPos_->line);
        if (const int between = std::max(startPos_->line, last) + 1; between < endPos_->line)
            fn(between);
        fn(endPos_->line);
    }
}

std::vector<QRect> CommonViewComponentHighlighter::getHighlights() const {
    std::vector<QRect> out;
    if (!startPos_ || !comViewComponent_.getLayoutManager().hasLines())
        return out;
    // Lines past the end of the text all sit at the text's bottom edge; one is enough.
    const int lastMiddle =
        std::min(endPos_->line - 1, comViewComponent_.getLayoutManager().getNumRecords() + 1);
    auto add = [&](int line) {
        if (std::optional<QRect> r = lineRectangle(line); r && !r->isEmpty())
            out.push_back(*r);
    };
    add(startPos_->line);
    for (int line = startPos_->line + 1; line <= lastMiddle; ++line)
        add(line);
    if (endPos_->line != startPos_->line)
        add(endPos_->line);
    return out;
}

void CommonViewComponentHighlighter::paint(QPainter& painter, const QRect& clip) const {
    const QColor color = comViewComponent_.getSelectionHighlightColor();
    forEachLineMeeting(clip, [&](int line) {
        if (std::optional<QRect> r = lineRectangle(line); r && r->intersects(clip))
            painter.fillRect(r->intersected(clip), color);
    });
}

bool CommonViewComponentHighlighter::isInHighlight(const FilePosition& fp) const {
    return startPos_ && *startPos_ <= fp && fp <= *endPos_;
}

bool CommonViewComponentHighlighter::isInHighlight(const QPoint& p) const {
    const int line = comViewComponent_.getLayoutManager().yCoordToLineNumber(p.y());
    if (std::optional<QRect> r = lineRectangle(line))
        return r->contains(p);
    return false;
}

QRect CommonViewComponentHighlighter::highlightsIntersection(const QRect& r) const {
    QRect out;
    forEachLineMeeting(r, [&](int line) {
        if (std::optional<QRect> h = lineRectangle(line); h && h->intersects(r))
            out = out.united(*h);
    });
    return out;
}

QString CommonViewComponentHighlighter::asString() const {
    QString out;
    const CommonViewComponentLayoutManager& layout = comViewComponent_.getLayoutManager();
    if (!startPos_ || !layout.hasLines())
        return out;
    const int lastLine = std::min(endPos_->line, layout.getNumRecords());
    for (int line = startPos_->line; line <= lastLine; ++line) {
        const CharsView text = layout.lineView(line);
        const std::size_t from =
            line == startPos_->line ? static_cast<std::size_t>(std::max(0, startPos_->pos - 1)) : 0;
        const std::size_t to = line == endPos_->line
                                   ? static_cast<std::size_t>(std::max(0, endPos_->pos))
                                   : text.size();
        if (line != startPos_->line && !out.endsWith(u'\n'))
            out += u'\n';
        if (from < to)
            out += toQString(text.substr(from, to - from));
    }
    return out;
}

} // namespace tracewin
