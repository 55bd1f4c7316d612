#include "views/commonviewcomponentmarks.h"

#include "views/commonviewcomponent.h"
#include "views/commonviewcomponenthighlighter.h"
#include "views/commonviewcomponentlayoutmanager.h"

#include <QPainter>
#include <algorithm>

namespace tracewin {

CommonViewComponentMarks::CommonViewComponentMarks(CommonViewComponent& component)
    : component_(component) {}

void CommonViewComponentMarks::set(std::shared_ptr<const TextSpans> spans, const QColor& colour) {
    // Set on every step: nothing is painted again when nothing shown changes.
    if ((spans == spans_ || (!spans && !spans_)) && colour == colour_)
        return;
    spans_ = std::move(spans);
    colour_ = colour;
    component_.repaintWhole();
}

void CommonViewComponentMarks::clear() {
    if (!spans_)
        return;
    spans_.reset();
    component_.repaintWhole();
}

void CommonViewComponentMarks::paint(QPainter& painter, const QRect& clip) const {
    const CommonViewComponentLayoutManager& layout = component_.getLayoutManager();
    if (!spans_ || spans_->empty() || !layout.hasLines())
        return;
    const int first = layout.firstVisibleLine(clip);
    const int last = layout.lastVisibleLine(clip);
    // In order and apart, so the ends are in order too: skip to the first that reaches
    // the clip's first line.
    auto it = std::lower_bound(spans_->begin(), spans_->end(), first,
                               [](const TextSpan& s, int line) { return s.end.line < line; });
    for (; it != spans_->end() && it->start.line <= last; ++it) {
        const int to = std::min(it->end.line, last);
        for (int line = std::max(it->start.line, first); line <= to; ++line) {
            if (auto r = spanRectangleOnLine(layout, it->start, it->end, line);
                r && r->intersects(clip))
                painter.fillRect(*r, colour_);
        }
    }
}

} // namespace tracewin
