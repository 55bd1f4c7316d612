#pragma once

#include "core/outputorigins.h"

#include <QColor>
#include <QRect>
#include <memory>

class QPainter;

namespace tracewin {

class CommonViewComponent;

// Stretches of a text component painted in a colour of their own, beneath the text and
// the highlight: the output the executing span wrote, or the span that wrote output the
// user clicked. The stretches are shared with whoever keeps them and may grow meanwhile;
// they are in order and do not overlap.
class CommonViewComponentMarks {
public:
    explicit CommonViewComponentMarks(CommonViewComponent& component);

    void set(std::shared_ptr<const TextSpans> spans, const QColor& colour);
    void clear();
    const TextSpans* spans() const { return spans_.get(); }
    const QColor& colour() const { return colour_; }
    // Fills the parts of the stretches that meet the clip; only the stretches on the
    // clip's lines are looked at, however many there are.
    void paint(QPainter& painter, const QRect& clip) const;

private:
    CommonViewComponent& component_;
    std::shared_ptr<const TextSpans> spans_;
    QColor colour_;
};

} // namespace tracewin
