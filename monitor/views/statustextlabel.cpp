#include "views/statustextlabel.h"

#include <QEvent>
#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

namespace tracewin {

StatusTextLabel::StatusTextLabel(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

void StatusTextLabel::setText(const QString& text) {
    if (text == text_)
        return;
    text_ = text;
    update();
}

QSize StatusTextLabel::sizeHint() const {
    // The height of one line of text, whatever the text: the bar keeps its height.
    const QMargins margins = contentsMargins();
    return {fontMetrics().averageCharWidth() * 40 + margins.left() + margins.right(),
            fontMetrics().height() + margins.top() + margins.bottom()};
}

QSize StatusTextLabel::minimumSizeHint() const {
    return {0, sizeHint().height()};
}

void StatusTextLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect area = contentsRect();
    const QString shown = fontMetrics().elidedText(text_, Qt::ElideRight, area.width());
    style()->drawItemText(&painter, area, Qt::AlignLeft | Qt::AlignVCenter, palette(), isEnabled(),
                          shown, foregroundRole());
}

bool StatusTextLabel::event(QEvent* event) {
    // The tool tip is worded when asked for: the text changes far more often than it is read.
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        if (fontMetrics().horizontalAdvance(text_) > contentsRect().width())
            QToolTip::showText(help->globalPos(), text_, this);
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::event(event);
}

} // namespace tracewin
