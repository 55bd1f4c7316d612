#include "views/commonviewcomponent.h"

#include "core/monitorconstants.h"
#include "tracehook/tracer.h"
#include "views/breakpointimage.h"
#include "views/commonviewcomponentcaret.h"
#include "views/commonviewcomponenthighlighter.h"
#include "views/commonviewcomponenthost.h"
#include "views/commonviewcomponentinputcontroller.h"
#include "views/commonviewcomponentlayoutmanager.h"
#include "views/commonviewcomponentmarks.h"
#include "views/scroller.h"
#include "views/sourcepane.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLocale>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QThread>
#include <algorithm>

namespace tracewin {

namespace {

// The locales whose text needs the toolkit's own text font rather than Courier: Japanese,
// Chinese (simplified and traditional alike) and Korean, compared by language.
bool isEastAsianLocale(const QLocale& locale) {
    const QLocale::Language language = locale.language();
    return language == QLocale::Japanese || language == QLocale::Chinese ||
           language == QLocale::Korean;
}

// Lines longer than this are drawn by the columns in view.
constexpr int kLongLine = 4096;

// The columns of a line shown: the first one's (1-based) and their text.
struct ShownColumns {
    int first;
    QString text;
};

// The columns [first, last] of a line (1-based, clipped to the text) without its line
// terminator, which the painter would show as a box; a cut never splits a surrogate pair.
ShownColumns visibleColumns(CharsView text, int first, int last) {
    std::size_t n = text.size();
    while (n > 0 && (text[n - 1] == u'\n' || text[n - 1] == u'\r'))
        --n;
    std::size_t from = std::min(static_cast<std::size_t>(std::max(first - 1, 0)), n);
    if (from > 0 && from < n && QChar::isLowSurrogate(text[from]))
        --from;
    std::size_t to = std::clamp(static_cast<std::size_t>(std::max(last, 0)), from, n);
    if (to > from && to < n && QChar::isHighSurrogate(text[to - 1]))
        ++to;
    return {static_cast<int>(from) + 1, toQString(text.substr(from, to - from))};
}

} // namespace

CommonViewComponent::CommonViewComponent(CommonViewComponentHost* parent, QWidget* parentWidget)
    : CommonViewComponent(parent, true, parentWidget) {}

CommonViewComponent::CommonViewComponent(CommonViewComponentHost* parent, bool withBreakpointMargin,
                                         QWidget* parentWidget)
    : QWidget(parentWidget), parent_(parent) {
    setFont(defaultFont());
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setBackgroundRole(QPalette::Base);

    inputController_ = std::make_unique<CommonViewComponentInputController>(*this);
    installEventFilter(inputController_.get());
    highlighter_ = std::make_unique<CommonViewComponentHighlighter>(*this);
    marks_ = std::make_unique<CommonViewComponentMarks>(*this);

    if (withBreakpointMargin) {
        const QString path = BreakpointImage::path();
        tracehook::Tracer::trace("CommonViewComponent", "",
                                 "The breakpoint image file is: " + path.toStdString());
        breakpointImage_ = BreakpointImage::load(path);
    } else {
        breakpointImage_ = BreakpointImage::load(QString::fromLatin1(BreakpointImage::FILE_NAME));
    }
    conditionalBreakpointImage_ = BreakpointImage::conditional(breakpointImage_);

    const CommonModel* model = parent_ ? parent_->getCommonModel() : nullptr;
    layoutManager_ = std::make_unique<CommonViewComponentLayoutManager>(
        *this, model ? &model->lineList() : nullptr);
    if (!withBreakpointMargin)
        layoutManager_->setBreakAreaWidth(0);
    layoutManager_->reCalculate();
    fitToContent();

    caret_ = std::make_unique<CommonViewComponentCaret>(*this);
}

CommonViewComponent::~CommonViewComponent() {
    removeEventFilter(inputController_.get());
}

void CommonViewComponent::setInputController(
    std::unique_ptr<CommonViewComponentInputController> controller) {
    if (!controller)
        return;
    removeEventFilter(inputController_.get());
    inputController_ = std::move(controller);
    installEventFilter(inputController_.get());
}

QFont CommonViewComponent::defaultFont() {
    if (isEastAsianLocale(QLocale())) {
        const QFont font = QApplication::font("QPlainTextEdit");
        tracehook::Tracer::printLine("*** The CommonViewComponentFont is set to: " +
                                     font.toString().toStdString());
        return font;
    }
    QFont font(QString::fromLatin1(MonitorConstants::COMMON_VIEW_COMPONENT_FONT_FAMILY),
               MonitorConstants::COMMON_VIEW_COMPONENT_FONT_POINT_SIZE);
    font.setStyleHint(QFont::TypeWriter);
    if (!QFontInfo(font).fixedPitch()) {
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setPointSize(MonitorConstants::COMMON_VIEW_COMPONENT_FONT_POINT_SIZE);
    }
    return font;
}

void CommonViewComponent::setNewLines(const SourceLines* lines) {
    const CommonModel* model = parent_ ? parent_->getCommonModel() : nullptr;
    if (lines && model && model->holdsLines(*lines)) {
        showLines(&model->lineList());
        otherLines_.reset();
        return;
    }
    auto other = lines ? std::make_unique<SourceLinesList>(*lines) : nullptr;
    showLines(other.get());
    otherLines_ = std::move(other);
}

void CommonViewComponent::showLines(const LineList* lines) {
    if (colouring_)
        colouring_->reset();
    layoutManager_->setLines(lines);
    layoutManager_->reCalculate();
    updateGeometry();
    fitToContent();
    applyScrollSteps();
    repaintWhole();
}

void CommonViewComponent::linesAppended() {
    const QSize before = layoutManager_->getPreferredSize();
    const auto linesBefore = static_cast<std::size_t>(layoutManager_->getNumRecords());
    layoutManager_->linesAppended();
    if (colouring_) {
        const LineList* lines = layoutManager_->getLines();
        if (lines && lines->size() >= linesBefore)
            colouring_->linesAppended(linesBefore);
        else
            colouring_->reset();
    }
    followLayout(before);
}

void CommonViewComponent::linesChangedFrom(std::size_t firstChanged) {
    if (colouring_)
        colouring_->linesChangedFrom(firstChanged);
    const QSize before = layoutManager_->getPreferredSize();
    layoutManager_->linesChangedFrom(firstChanged);
    followLayout(before);
}

void CommonViewComponent::followLayout(const QSize& sizeBefore) {
    if (layoutManager_->getPreferredSize() != sizeBefore) {
        // In a pane the size hint lays nothing out: the bars follow the content instead.
        if (!pane())
            updateGeometry();
        fitToContent();
    }
    repaintWhole();
}

void CommonViewComponent::fitToContent() {
    if (pane())
        updateScrollRanges();
    else if (!qobject_cast<SourcePane*>(parentWidget())) // not kept aside by a pane either
        resize(sizeHint());
}

SourcePane* CommonViewComponent::pane() const {
    return qobject_cast<SourcePane*>(getScrollArea());
}

void CommonViewComponent::followPane() {
    for (const QMetaObject::Connection& c : paneConnections_)
        disconnect(c);
    paneConnections_.clear();
    SourcePane* p = pane();
    if (!p)
        return;
    QScrollBar* h = p->horizontalScrollBar();
    QScrollBar* v = p->verticalScrollBar();
    auto follow = [this, h, v] {
        scrolledTo(QPoint(h->value(), v->value()));
    };
    paneConnections_.push_back(connect(h, &QScrollBar::valueChanged, this, follow));
    paneConnections_.push_back(connect(v, &QScrollBar::valueChanged, this, follow));
    updateScrollRanges();
    // Setting one bar reports both: the place to come back to is read before either moves.
    const QPoint back = origin_;
    h->setValue(back.x());
    v->setValue(back.y());
    follow();
}

void CommonViewComponent::updateScrollRanges() {
    SourcePane* p = pane();
    if (!p)
        return;
    const QSize content = sizeHint();
    const QSize view = p->viewport()->size();
    QScrollBar* h = p->horizontalScrollBar();
    QScrollBar* v = p->verticalScrollBar();
    h->setRange(0, std::max(0, content.width() - view.width()));
    h->setPageStep(std::max(1, view.width()));
    v->setRange(0, std::max(0, content.height() - view.height()));
    v->setPageStep(std::max(1, view.height()));
    applyScrollSteps();
}

void CommonViewComponent::scrolledTo(const QPoint& origin) {
    if (origin == origin_)
        return;
    origin_ = origin;
    repaintWhole();
}

QPoint CommonViewComponent::contentOffset() const {
    return pane() ? origin_ : QPoint();
}

void CommonViewComponent::updateContent(const QRect& contentRect) {
    update(contentRect.translated(-contentOffset()));
}

void CommonViewComponent::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    updateScrollRanges();
}

void CommonViewComponent::setNewFont(const QFont& font) {
    setFont(font);
    layoutManager_->reCalculate();
    updateGeometry();
    fitToContent();
    applyScrollSteps();
    repaintWhole();
}

void CommonViewComponent::setLanguage(SourceLanguage language) {
    language_ = language;
    colouring_ =
        language == SourceLanguage::Plain ? nullptr : std::make_unique<SyntaxColouring>(language);
    repaintWhole();
}

void CommonViewComponent::setLineNumbersShown(bool shown) {
    if (shown == layoutManager_->getShowLineNumbers())
        return;
    const QSize before = layoutManager_->getPreferredSize();
    layoutManager_->setShowLineNumbers(shown);
    layoutManager_->reCalculate();
    followLayout(before);
}

bool CommonViewComponent::getLineNumbersShown() const {
    return layoutManager_->getShowLineNumbers();
}

void CommonViewComponent::setLineNumberColor(const QColor& c) {
    lineNumberColor_ = c;
    repaintWhole();
}

void CommonViewComponent::displayCurrentFile(int line) {
    const int lines = layoutManager_->getNumRecords();
    if (!layoutManager_->hasLines() || lines == 0)
        return;
    line = std::clamp(line, 1, lines);
    scrollLineToVisible(line);
    caret_->setPosition(FilePosition(1, line));
    repaintWhole();
}

void CommonViewComponent::highlight(int startLine, int startPos, int endLine, int endPos) {
    highlighter_->highlight(FilePosition(startPos, startLine), FilePosition(endPos, endLine));
    bringSpanIntoView(startLine, startPos, endLine, endPos);
}

void CommonViewComponent::bringSpanIntoView(int startLine, int startPos, int endLine, int endPos) {
    // Called for every step of a run: the scroll area is found once.
    const QAbstractScrollArea* area = getScrollArea();
    if (!area || !layoutManager_->hasLines())
        return;
    const QRect visible = visibleRectIn(*area);
    const CommonViewComponentLayoutManager& layout = *layoutManager_;
    // Down: the span's first line on top when it is not fully in view.
    const int first = layout.firstVisibleLine(visible);
    const int last = layout.lastVisibleLine(visible);
    const bool lineCut = startLine == last && last - first + 1 >= layout.getMaxNumOfDisplayLines();
    const int y = startLine < first || startLine > last || lineCut
                      ? layout.lineNumberToYCoord(startLine)
                      : visible.y();
    // Across: as an editor does, nothing moves while the span's first line part is in view;
    // otherwise as little as shows it with a few columns around, the line's start kept in
    // view as far as the span allows.
    const QSize viewport = area->viewport()->size();
    int x = visible.x();
    if (viewport.width() >= layout.getCharWidth()) {
        const int fromCol = std::max(1, startPos);
        const int toCol = std::max(fromCol, endLine == startLine ? endPos : startPos);
        const int left = layout.sourcePositionToXCoord(fromCol);
        const int right = layout.sourcePositionToXCoord(toCol) + layout.getCharWidth();
        // In a pane the margin covers the left of the view, whatever the scroll.
        const int margin = qobject_cast<const SourcePane*>(area) ? layout.getSourceAreaStart() : 0;
        if (left < visible.x() + margin || right > visible.x() + viewport.width()) {
            constexpr int kContext = 3;
            const int contextLeft = fromCol > kContext + 1
                                        ? layout.sourcePositionToXCoord(fromCol - kContext) - margin
                                        : 0;
            const int contextRight = right + kContext * layout.getCharWidth();
            x = std::min(std::max(0, contextRight - viewport.width()), contextLeft);
            // Too wide to show whole, it shows from its start; when that start shows with the
            // line's own, the line's start stays in view.
            const bool tooWide = contextRight - contextLeft > viewport.width();
            if (tooWide && left + (kContext + 1) * layout.getCharWidth() <= viewport.width())
                x = 0;
        }
    }
    if (QPoint(x, y) != visible.topLeft())
        Scroller::schedule(*this, QRect(QPoint(x, y), QSize(1, 1)));
}

void CommonViewComponent::makeLineVisible(int line) {
    // The line becomes the last fully visible one, so that the newest output shows.
    scrollLineToVisible(std::max(1, line - layoutManager_->getMaxNumOfDisplayLines() + 1));
}

bool CommonViewComponent::isBlankLine(int line) const {
    return layoutManager_->lineView(line).isBlank();
}

void CommonViewComponent::setBreakpoints(std::shared_ptr<BreakpointLst> lines) {
    breakpoints_ = lines ? std::move(lines) : std::make_shared<BreakpointLst>();
    repaintWhole();
}

void CommonViewComponent::showBreakpointMenu(const QPoint& p, const QPoint& globalPos) {
    const int line = layoutManager_->hasLines() ? layoutManager_->yCoordToLineNumber(p.y()) : 0;
    if (line < 1 || isBlankLine(line)) {
        beep();
        return;
    }
    if (parent_)
        parent_->showBreakpointMenu(line, globalPos);
}

void CommonViewComponent::setBreakpoint(const QPoint& p) {
    if (!layoutManager_->hasLines()) {
        beep();
        return;
    }
    const int line = layoutManager_->yCoordToLineNumber(p.y());
    if (line < 1 || isBlankLine(line)) {
        beep();
        return;
    }
    toggleBreakpoint(line);
}

void CommonViewComponent::toggleBreakpoint(int line) {
    const bool isSet = !breakpoints_->contains(line);
    if (isSet) {
        breakpoints_->add(line);
        repaintWhole(); // the margin is where the view's left edge is
    } else {
        breakpoints_->remove(line);
        repaintWhole();
    }
    if (parent_)
        parent_->sendBreakpointInfo(line, isSet);
}

void CommonViewComponent::scrollLineToVisible(int line) {
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(
            this, [this, line] { scrollLineToVisible(line); }, Qt::QueuedConnection);
        return;
    }
    if (!layoutManager_->hasLines())
        return;
    Scroller::schedule(*this, layoutManager_->lineNumberToRectangle(line));
}

void CommonViewComponent::scrollLineToVisible(int startLine, int startCol, int endLine,
                                              int endCol) {
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(
            this,
            [this, startLine, startCol, endLine, endCol] {
                scrollLineToVisible(startLine, startCol, endLine, endCol);
            },
            Qt::QueuedConnection);
        return;
    }
    // Three columns of context on the left.
    const int fromCol = startCol >= 4 ? startCol - 3 : 1;
    std::optional<QRect> r = layoutManager_->filePositionToRectangle(
        FilePosition(fromCol, startLine), FilePosition(endCol, endLine));
    if (!r)
        return;
    if (r->x() == layoutManager_->getSourceAreaStart())
        r->moveLeft(0);
    Scroller::schedule(*this, *r);
}

void CommonViewComponent::scrollRectToVisible(const QRect& r) {
    const std::optional<QSize> viewport = viewportSize();
    if (!viewport || r.isEmpty())
        return;
    const QRect view = *getVisibleRect();
    auto axis = [](int from, int size, int viewFrom, int viewSize) {
        if (from < viewFrom || size > viewSize)
            return from;
        if (from + size > viewFrom + viewSize)
            return from + size - viewSize;
        return viewFrom;
    };
    const QPoint target(axis(r.x(), r.width(), view.x(), view.width()),
                        axis(r.y(), r.height(), view.y(), view.height()));
    if (target != view.topLeft())
        Scroller::schedule(*this, QRect(target, r.size()));
}

bool CommonViewComponent::posRequiresScrolling(int line, int col) const {
    const int first = getFirstVisibleLine();
    const int last = getLastVisibleLine();
    const int firstCol = getFirstVisibleCol();
    const int lastCol = getLastVisibleCol();
    if (first == -1 || last == -1 || firstCol == -1 || lastCol == -1)
        return false;
    if (line < first || line > last)
        return true;
    // The last visible line may be cut off at the bottom.
    if (line == last && last - first + 1 >= layoutManager_->getMaxNumOfDisplayLines())
        return true;
    if (col < firstCol || col > lastCol)
        return true;
    return col == lastCol && lastCol - firstCol + 1 >= layoutManager_->getMaxNumOfDisplayCol();
}

QAbstractScrollArea* CommonViewComponent::getScrollArea() const {
    QWidget* viewport = parentWidget();
    auto* area = viewport ? qobject_cast<QAbstractScrollArea*>(viewport->parentWidget()) : nullptr;
    return area && area->viewport() == viewport ? area : nullptr;
}

std::optional<QSize> CommonViewComponent::viewportSize() const {
    if (QAbstractScrollArea* area = getScrollArea())
        return area->viewport()->size();
    return std::nullopt;
}

std::optional<QRect> CommonViewComponent::getVisibleRect() const {
    if (const QAbstractScrollArea* area = getScrollArea())
        return visibleRectIn(*area);
    return std::nullopt;
}

QRect CommonViewComponent::visibleRectIn(const QAbstractScrollArea& area) const {
    const QSize viewport = area.viewport()->size();
    if (qobject_cast<const SourcePane*>(&area))
        return QRect(origin_, viewport) & QRect(QPoint(), sizeHint());
    return QRect(-pos(), viewport) & rect();
}

int CommonViewComponent::getFirstVisibleLine() const {
    const std::optional<QRect> r = getVisibleRect();
    return r ? layoutManager_->firstVisibleLine(*r) : -1;
}

int CommonViewComponent::getLastVisibleLine() const {
    const std::optional<QRect> r = getVisibleRect();
    return r ? layoutManager_->lastVisibleLine(*r) : -1;
}

int CommonViewComponent::getFirstVisibleCol() const {
    const std::optional<QRect> r = getVisibleRect();
    return r ? layoutManager_->firstVisibleCol(*r) : -1;
}

int CommonViewComponent::getLastVisibleCol() const {
    const std::optional<QRect> r = getVisibleRect();
    return r ? layoutManager_->lastVisibleCol(*r) : -1;
}

void CommonViewComponent::setColor(QColor& field, const QColor& c, const char* key, bool repaint) {
    if (field == c)
        return;
    const QColor old = field;
    field = c;
    emit propertyChanged(QString::fromLatin1(key), old, c);
    if (repaint)
        repaintWhole();
}

void CommonViewComponent::setExecutableColor(const QColor& c) {
    setColor(executableColor_, c, EXECUTABLE_COLOR, true);
}
void CommonViewComponent::setNonExecutableColor(const QColor& c) {
    setColor(nonExecutableColor_, c, NON_EXECUTABLE_COLOR, true);
}
void CommonViewComponent::setExecutionPointHighlightColor(const QColor& c) {
    setColor(executionPointHighlightColor_, c, EXECUTION_POINT_HIGHLIGHT_COLOR, true);
}
void CommonViewComponent::setLeftMarginColor(const QColor& c) {
    setColor(leftMarginColor_, c, LEFT_MARGIN_COLOR, true);
}
void CommonViewComponent::setSelectionHighlightColor(const QColor& c) {
    setColor(selectionHighlightColor_, c, SELECTION_HIGHLIGHT_COLOR, false);
}
void CommonViewComponent::setExecutionPointAndSelectionIntersectionColor(const QColor& c) {
    setColor(executionPointAndSelectionIntersectionColor_, c,
             EXECUTION_POINT_AND_SELECTION_INTERSECTION_COLOR, false);
}
void CommonViewComponent::setCaretColor(const QColor& c) {
    setColor(caretColor_, c, CARET_COLOR, false);
}

void CommonViewComponent::setBackground(const QColor& c) {
    QPalette pal = palette();
    pal.setColor(backgroundRole(), c);
    setPalette(pal);
    repaintWhole();
}

QColor CommonViewComponent::getBackground() const {
    return palette().color(backgroundRole());
}

void CommonViewComponent::propertyChange(const QString& name, const QVariant& newValue) {
    if (name != QLatin1String(LINE_CHANGED))
        return;
    bool isNumber = false;
    const int line = newValue.toInt(&isNumber);
    if (newValue.isValid() && isNumber)
        updateContent(layoutManager_->lineNumberToMarginRectangle(line));
    else
        repaintWhole();
}

int CommonViewComponent::getScrollableUnitIncrement(Qt::Orientation orientation) const {
    switch (orientation) {
    case Qt::Vertical:
        return layoutManager_->getLineHeight();
    case Qt::Horizontal:
        return layoutManager_->getCharWidth();
    }
    return -1;
}

int CommonViewComponent::getScrollableBlockIncrement(Qt::Orientation orientation) const {
    const QRect visible = getVisibleRect().value_or(rect());
    switch (orientation) {
    case Qt::Vertical:
        return visible.height();
    case Qt::Horizontal:
        return visible.width();
    }
    return -1;
}

QSize CommonViewComponent::sizeHint() const {
    if (!layoutManager_ || !layoutManager_->hasLines() || layoutManager_->getNumRecords() == 0)
        return QSize(200, 100);
    return layoutManager_->getPreferredSize();
}

void CommonViewComponent::caretLineChanged() {
    if (parent_ && parent_->getFocus())
        parent_->refreshSelectedItemMenu();
}

void CommonViewComponent::beep() {
    emit beeped();
    QApplication::beep();
}

void CommonViewComponent::applyScrollSteps() const {
    if (QAbstractScrollArea* area = getScrollArea()) {
        area->verticalScrollBar()->setSingleStep(
            std::max(1, getScrollableUnitIncrement(Qt::Vertical)));
        area->horizontalScrollBar()->setSingleStep(
            std::max(1, getScrollableUnitIncrement(Qt::Horizontal)));
    }
}

bool CommonViewComponent::event(QEvent* event) {
    if (event->type() == QEvent::ParentChange) {
        // The whole background is painted here; the scroll area need not fill it first.
        setAutoFillBackground(false);
        applyScrollSteps();
        followPane();
    }
    return QWidget::event(event);
}

void CommonViewComponent::repaintWhole() {
    // Once the whole component is marked for painting, marking it again would only walk
    // the widget tree up to the window again.
    if (wholeRepaintAsked_ && isVisible())
        return;
    wholeRepaintAsked_ = true;
    update();
}

void CommonViewComponent::repaintLines(int first, int last) {
    if (wholeRepaintAsked_ && isVisible())
        return;
    const CommonViewComponentLayoutManager& layout = *layoutManager_;
    if (!layout.hasLines() || first < 1 || first > last || last > layout.getNumRecords()) {
        repaintWhole();
        return;
    }
    if (linesRepaintAsked_ && isVisible()) {
        first = std::min(first, linesRepaintAsked_->first);
        last = std::max(last, linesRepaintAsked_->second);
        if (linesRepaintAsked_ == std::pair(first, last))
            return;
    }
    linesRepaintAsked_ = std::pair(first, last);
    const int top = layout.lineNumberToYCoord(first) - contentOffset().y();
    const int bottom =
        layout.lineNumberToYCoord(last) + layout.getLineHeight() - contentOffset().y();
    update(QRect(0, top, width(), bottom - top));
}

void CommonViewComponent::paintEvent(QPaintEvent* event) {
    wholeRepaintAsked_ = false;
    linesRepaintAsked_.reset();
    QPainter painter(this);
    // Everything below paints in content coordinates.
    const QPoint offset = contentOffset();
    painter.translate(-offset);
    const QRect clip = event->rect().translated(offset);
    painter.fillRect(clip, getBackground());
    if (!layoutManager_->hasLines())
        return;
    painter.setFont(font());
    marks_->paint(painter, clip);
    highlighter_->paint(painter, clip);
    paintLines(painter, clip);
    caret_->paint(painter, clip);
    // The margin stays at the left edge, over the text scrolled beneath it, as in editors:
    // the line numbers and breakpoint marks never scroll out of view.
    painter.translate(offset.x(), 0);
    paintMargin(painter, clip.translated(-offset.x(), 0));
}

void CommonViewComponent::paintMargin(QPainter& painter, const QRect& clip) const {
    const CommonViewComponentLayoutManager& layout = *layoutManager_;
    const QRect gutter =
        QRect(0, clip.y(), layout.getSourceAreaStart(), clip.height()).intersected(clip);
    if (gutter.isEmpty())
        return;
    painter.fillRect(gutter, getBackground());
    const int marginStart = layout.getGraphicsAreaStart();
    const int marginWidth = layout.getGraphicsAreaLength();
    const QRect marks = QRect(marginStart, clip.y(), marginWidth, clip.height()).intersected(clip);
    if (!marks.isEmpty())
        painter.fillRect(marks, leftMarginColor_);
    const int first = layout.firstVisibleLine(clip);
    const int last = layout.lastVisibleLine(clip);
    if (first <= 0 || last <= 0 || last < first)
        return;
    const int lineHeight = layout.getLineHeight();
    for (int line = first; line <= last; ++line) {
        const int y = layout.lineNumberToYCoord(line);
        if (layout.getLineNumberAreaLength() > 0 &&
            QRect(layout.getLineNumberAreaStart(), y, layout.getLineNumberAreaLength(), lineHeight)
                .intersects(clip))
            paintLineNumber(painter, line, y);
        if (QRect(marginStart, y, marginWidth, lineHeight).intersects(clip) &&
            breakpoints_->contains(line)) {
            const QRect mark(marginStart + BREAKPOINT_IMAGE_X, y + BREAKPOINT_IMAGE_Y,
                             breakpointImage_.width(), breakpointImage_.height());
            painter.fillRect(mark, leftMarginColor_);
            painter.drawPixmap(mark.topLeft(), breakpoints_->condition(line)
                                                   ? conditionalBreakpointImage_
                                                   : breakpointImage_);
        }
    }
}

void CommonViewComponent::paintLines(QPainter& painter, const QRect& clip) const {
    const CommonViewComponentLayoutManager& layout = *layoutManager_;
    const int first = layout.firstVisibleLine(clip);
    const int last = layout.lastVisibleLine(clip);
    if (first <= 0 || last <= 0 || last < first)
        return;
    const int lineHeight = layout.getLineHeight();
    const int textStart = layout.getSourceAreaStart();
    const int textWidth = layout.getSourceAreaLength();
    // A long line is drawn from the columns in the clip only (one more on each side for
    // glyphs that overhang their cell), so a line of megabytes costs what a short one
    // does; shorter lines are drawn whole, which keeps glyphs wider than a cell in place.
    const int firstCol = std::max(1, layout.firstVisibleCol(clip) - 1);
    const int lastCol = layout.lastVisibleCol(clip) + 1;
    painter.setPen(nonExecutableColor_);
    for (int line = first; line <= last; ++line) {
        const int y = layout.lineNumberToYCoord(line);
        if (QRect(textStart, y, textWidth, lineHeight).intersects(clip)) {
            const CharsView text = layout.lineView(line);
            const bool whole = text.size() <= kLongLine;
            const ShownColumns shown =
                visibleColumns(text, whole ? 1 : firstCol, whole ? kLongLine : lastCol);
            if (!shown.text.isEmpty())
                paintText(painter, line, shown.first, shown.text,
                          y + layout.getTextWriterAdjustment());
        }
    }
}

void CommonViewComponent::paintText(QPainter& painter, int line, int col, QStringView shown,
                                    int baseline) const {
    const CommonViewComponentLayoutManager& layout = *layoutManager_;
    const LineList* lines = layout.getLines();
    if (!colouring_ || !lines) {
        painter.setPen(nonExecutableColor_);
        painter.drawText(QPoint(layout.sourcePositionToXCoord(col), baseline), shown.toString());
        return;
    }
    const int lastCol = col + static_cast<int>(shown.size()) - 1;
    for (const SyntaxColouring::Run& run : colouring_->runs(*lines, line, col, lastCol)) {
        painter.setPen(run.colour);
        painter.drawText(QPoint(layout.sourcePositionToXCoord(run.begin), baseline),
                         shown.mid(run.begin - col, run.end - run.begin).toString());
    }
}

void CommonViewComponent::paintLineNumber(QPainter& painter, int line, int y) const {
    const CommonViewComponentLayoutManager& layout = *layoutManager_;
    if (line > layout.getNumRecords())
        return;
    // Right-aligned, half a character clear of the text's gap.
    const QString number = QString::number(line);
    const int right = layout.getLineNumberAreaStart() + layout.getLineNumberAreaLength() -
                      layout.getCharWidth() / 2;
    painter.setPen(lineNumberColor_);
    painter.drawText(QPoint(right - static_cast<int>(number.size()) * layout.getCharWidth(),
                            y + layout.getTextWriterAdjustment()),
                     number);
    painter.setPen(nonExecutableColor_);
}

} // namespace tracewin
