#include "views/commonviewcomponentcaret.h"

#include "views/commonviewcomponent.h"
#include "views/commonviewcomponenthighlighter.h"
#include "views/commonviewcomponentlayoutmanager.h"

#include <QPainter>
#include <QTimer>
#include <algorithm>

namespace tracewin {

CommonViewComponentCaret::CommonViewComponentCaret(CommonViewComponent& component)
    : comViewComponent_(component) {}

CommonViewComponentCaret::~CommonViewComponentCaret() = default;

bool CommonViewComponentCaret::isBlinking() const {
    return timer_ && timer_->isActive();
}

std::optional<FilePosition> CommonViewComponentCaret::clamped(const FilePosition& fp) const {
    const CommonViewComponentLayoutManager& layout = comViewComponent_.getLayoutManager();
    if (!layout.hasLines() || layout.getNumRecords() == 0)
        return std::nullopt;
    return FilePosition(std::clamp(fp.pos, 1, std::max(1, layout.getRecLength())),
                        std::clamp(fp.line, 1, layout.getNumRecords()));
}

void CommonViewComponentCaret::setPosition(const FilePosition& fp) {
    const std::optional<FilePosition> target = clamped(fp);
    if (!target)
        return;
    mark_ = *target;
    moveTo(*target);
}

void CommonViewComponentCaret::movePosition(const FilePosition& fp) {
    const std::optional<FilePosition> target = clamped(fp);
    if (!target)
        return;
    moveTo(*target);
    comViewComponent_.getHighlighter().highlight(mark_, currentPosition_);
}

void CommonViewComponentCaret::moveTo(const FilePosition& fp) {
    const bool lineChanged = fp.line != currentPosition_.line;
    comViewComponent_.updateContent(strip(currentPosition_));
    currentPosition_ = fp;
    const CommonViewComponentLayoutManager& layout = comViewComponent_.getLayoutManager();
    if (std::optional<QRect> r = layout.filePositionToRectangle(fp))
        comViewComponent_.scrollRectToVisible(*r);
    comViewComponent_.updateContent(strip(currentPosition_));
    if (lineChanged)
        comViewComponent_.caretLineChanged();
}

QRect CommonViewComponentCaret::strip(const FilePosition& fp) const {
    const CommonViewComponentLayoutManager& layout = comViewComponent_.getLayoutManager();
    return QRect(layout.filePositionToPoint(fp), QSize(STRIP_WIDTH, layout.getLineHeight()));
}

void CommonViewComponentCaret::paint(QPainter& painter, const QRect& clip) {
    if (!timer_) {
        timer_ = std::make_unique<QTimer>();
        timer_->setInterval(BLINK_INTERVAL_MS);
        QObject::connect(timer_.get(), &QTimer::timeout, timer_.get(), [this] { blink(); });
        timer_->start();
    }
    if (!visible_ || currentPosition_.line < 1)
        return;
    const CommonViewComponentLayoutManager& layout = comViewComponent_.getLayoutManager();
    const QRect caret(layout.filePositionToPoint(currentPosition_),
                      QSize(1, layout.getLineHeight()));
    if (caret.intersects(clip))
        painter.fillRect(caret, comViewComponent_.getCaretColor());
}

void CommonViewComponentCaret::blink() {
    visible_ = !visible_;
    comViewComponent_.updateContent(strip(currentPosition_));
}

} // namespace tracewin
