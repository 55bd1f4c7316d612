#include "views/commonviewcomponentlayoutmanager.h"

#include "views/commonviewcomponent.h"

#include <algorithm>
#include <limits>

namespace tracewin {

namespace {

// Coordinates come from line and column numbers that may arrive from the wire; products
// are formed in 64 bits and saturated so that no value overflows.
int saturate(qint64 v) {
    return static_cast<int>(
        std::clamp<qint64>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

} // namespace

CommonViewComponentLayoutManager::CommonViewComponentLayoutManager(CommonViewComponent& component,
                                                                   const LineList* lines)
    : comViewComponent_(component), lines_(lines), fontMetrics_(component.font()) {}

CharsView CommonViewComponentLayoutManager::lineView(int line) const {
    if (!lines_ || line < 1 || static_cast<std::size_t>(line) > lines_->size())
        return {};
    return lines_->text(static_cast<std::size_t>(line - 1));
}

void CommonViewComponentLayoutManager::reCalculate() {
    fontMetrics_ = QFontMetrics(comViewComponent_.font());
    textHeight_ = fontMetrics_.lineSpacing();
    lineHeight_ = std::max(textHeight_, breakAreaDim_.height());
    charWidth_ = std::max(1, fontMetrics_.horizontalAdvance(QLatin1Char('O')));
    textWriterAdjustment_ = fontMetrics_.ascent();
    if (!lines_) {
        numRecords_ = recLength_ = graphicsAreaLength_ = sourceAreaStart_ = 0;
        lineNumberAreaLength_ = 0;
        sourceAreaLength_ = sourceCharacterLength_ = 0;
        preferredSize_ = QSize(10, 10);
        forgetMeasuredLines();
        return;
    }
    linesChangedFrom(0);
}

void CommonViewComponentLayoutManager::linesAppended() {
    if (!lines_ || lines_->size() < measuredLines_) {
        reCalculate();
        return;
    }
    // The line that was last may have grown before more lines came.
    linesChangedFrom(measuredLines_ == 0 ? 0 : measuredLines_ - 1);
}

void CommonViewComponentLayoutManager::linesChangedFrom(std::size_t firstChanged) {
    if (!lines_) {
        reCalculate();
        return;
    }
    const std::size_t count = lines_->size();
    measuredLines_ = std::min({firstChanged, measuredLines_, count});
    while (!recLengthGrowth_.empty() && recLengthGrowth_.back().line >= measuredLines_)
        recLengthGrowth_.pop_back();
    measureNewLines();
    numRecords_ = static_cast<int>(std::min<std::size_t>(count, std::numeric_limits<int>::max()));
    updateExtent();
}

void CommonViewComponentLayoutManager::updateExtent() {
    graphicsAreaStart_ = 0;
    lineNumberAreaLength_ = 0;
    if (showLineNumbers_) {
        // At least two digits, and half a character of room on each side.
        int digits = 1;
        for (int n = numRecords_; n >= 10; n /= 10)
            ++digits;
        lineNumberAreaLength_ = std::max(2, digits) * charWidth_ + charWidth_;
    }
    graphicsAreaLength_ = breakAreaDim_.width() + lineNumberAreaLength_;
    sourceAreaStart_ = graphicsAreaLength_ + SPACER;
    sourceAreaLength_ = saturate(qint64(recLength_) * charWidth_ + SPACER);
    sourceCharacterLength_ = recLength_;
    preferredSize_ = QSize(saturate(qint64(graphicsAreaLength_) + sourceAreaLength_),
                           saturate(qint64(lineHeight_) * numRecords_));
}

void CommonViewComponentLayoutManager::measureNewLines() {
    int length = recLengthGrowth_.empty() ? 0 : recLengthGrowth_.back().length;
    for (const std::size_t count = lines_->size(); measuredLines_ < count; ++measuredLines_) {
        const int grown = grownRecLength(length, lines_->text(measuredLines_));
        if (grown != length)
            recLengthGrowth_.push_back({measuredLines_, grown});
        length = grown;
    }
    recLength_ = length;
}

int CommonViewComponentLayoutManager::grownRecLength(int length, CharsView line) {
    const auto n = static_cast<qint64>(line.size());
    return n > length ? saturate(qint64(n) + 1) : length;
}

int CommonViewComponentLayoutManager::computeRecLength() const {
    int length = 0;
    if (!lines_)
        return 0;
    for (std::size_t i = 0; i < lines_->size(); ++i)
        length = grownRecLength(length, lines_->text(i));
    return length;
}

int CommonViewComponentLayoutManager::yCoordToLineNumber(int y) const {
    if (lineHeight_ <= 0)
        return 0;
    return std::min(y / lineHeight_ + 1, numRecords_);
}

int CommonViewComponentLayoutManager::lineNumberToYCoord(int line) const {
    return saturate(
        std::min<qint64>(qint64(lineHeight_) * (qint64(line) - 1), preferredSize_.height() - 1));
}

int CommonViewComponentLayoutManager::xCoordToSourcePosition(int x) const {
    if (x < sourceAreaStart_)
        return -1;
    return (x - sourceAreaStart_) / charWidth_ + 1;
}

int CommonViewComponentLayoutManager::sourcePositionToXCoord(int column) const {
    return saturate(qint64(charWidth_) * (qint64(column) - 1) + sourceAreaStart_);
}

int CommonViewComponentLayoutManager::numberOfLines(int height) const {
    return lineHeight_ > 0 ? height / lineHeight_ + 1 : 0;
}

int CommonViewComponentLayoutManager::numberOfCol(int width) const {
    return width / charWidth_ + 1;
}

int CommonViewComponentLayoutManager::firstVisibleLine(const QRect& r) const {
    return yCoordToLineNumber(r.y());
}

int CommonViewComponentLayoutManager::lastVisibleLine(const QRect& r) const {
    return yCoordToLineNumber(saturate(qint64(r.y()) + r.height() - 1));
}

int CommonViewComponentLayoutManager::firstVisibleCol(const QRect& r) const {
    return r.x() < sourceAreaStart_ ? 1 : xCoordToSourcePosition(r.x());
}

int CommonViewComponentLayoutManager::lastVisibleCol(const QRect& r) const {
    const int right = saturate(qint64(r.x()) + r.width() - 1);
    return right < sourceAreaStart_ ? 0 : xCoordToSourcePosition(right);
}

int CommonViewComponentLayoutManager::getMaxNumOfDisplayLines() const {
    const std::optional<QSize> viewport = comViewComponent_.viewportSize();
    return viewport && lineHeight_ > 0 ? viewport->height() / lineHeight_ : 0;
}

int CommonViewComponentLayoutManager::getMaxNumOfDisplayCol() const {
    const std::optional<QSize> viewport = comViewComponent_.viewportSize();
    return viewport ? viewport->width() / charWidth_ : 0;
}

bool CommonViewComponentLayoutManager::isPointContainedInSourceArea(const QPoint& p) const {
    return p.x() >= sourceAreaStart_;
}

bool CommonViewComponentLayoutManager::isPointContainedInGraphicsArea(const QPoint& p) const {
    return p.x() >= graphicsAreaStart_ && p.x() <= graphicsAreaStart_ + graphicsAreaLength_ - 1;
}

std::optional<FilePosition>
CommonViewComponentLayoutManager::pointToFilePosition(const QPoint& p) const {
    if (!hasLines() || !isPointContainedInSourceArea(p))
        return std::nullopt;
    return FilePosition(xCoordToSourcePosition(p.x()), yCoordToLineNumber(p.y()));
}

std::optional<FilePosition>
CommonViewComponentLayoutManager::pointToRelativeFilePosition(const QPoint& p) const {
    if (hasLines() && isPointContainedInGraphicsArea(p))
        return FilePosition(1, yCoordToLineNumber(p.y()));
    return pointToFilePosition(p);
}

QPoint CommonViewComponentLayoutManager::filePositionToPoint(const FilePosition& fp) const {
    return QPoint(sourcePositionToXCoord(fp.pos), lineNumberToYCoord(fp.line));
}

std::optional<QRect>
CommonViewComponentLayoutManager::filePositionToRectangle(const FilePosition& fp) const {
    if (!hasLines())
        return std::nullopt;
    return QRect(filePositionToPoint(fp), QSize(charWidth_, lineHeight_));
}

std::optional<QRect>
CommonViewComponentLayoutManager::filePositionToRectangle(const FilePosition& from,
                                                          const FilePosition& to) const {
    const std::optional<QRect> a = filePositionToRectangle(from);
    const std::optional<QRect> b = filePositionToRectangle(to);
    if (!a || !b)
        return std::nullopt;
    return a->united(*b);
}

QRect CommonViewComponentLayoutManager::lineNumberToRectangle(int line) const {
    return QRect(graphicsAreaStart_, lineNumberToYCoord(line), preferredSize_.width(), lineHeight_);
}

QRect CommonViewComponentLayoutManager::lineNumberSourceToRectangle(int line) const {
    return QRect(sourceAreaStart_, lineNumberToYCoord(line),
                 preferredSize_.width() - graphicsAreaLength_, lineHeight_);
}

QRect CommonViewComponentLayoutManager::lineNumberToMarginRectangle(int line) const {
    return QRect(graphicsAreaStart_, lineNumberToYCoord(line), graphicsAreaLength_, lineHeight_);
}

} // namespace tracewin
