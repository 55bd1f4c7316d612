#include "panekit/statusline.h"

#include "panekit/statuslinecontribution.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QStyle>
#include <QToolButton>

namespace panekit {

StatusLine::StatusLine(QWidget* parent) : QStatusBar(parent) {
    setObjectName(QStringLiteral("statusLine"));
    iconLabel_ = new QLabel(this);
    iconLabel_->setObjectName(QStringLiteral("statusIcon"));
    iconLabel_->hide();
    messageLabel_ = new QLabel(this);
    messageLabel_->setObjectName(QStringLiteral("statusMessage"));
    busy_ = new QProgressBar(this);
    busy_->setObjectName(QStringLiteral("busyIndicator"));
    busy_->setRange(0, 0); // an animation without progress
    busy_->setMaximumWidth(80);
    busy_->setTextVisible(false);
    busy_->hide();
    cancel_ = new QToolButton(this);
    cancel_->setObjectName(QStringLiteral("cancelButton"));
    cancel_->setIcon(style()->standardIcon(QStyle::SP_BrowserStop));
    cancel_->setAutoRaise(true);
    cancel_->hide();
    addWidget(iconLabel_);
    addWidget(messageLabel_, 1);
    addWidget(busy_);
    addWidget(cancel_);
    connect(cancel_, &QToolButton::clicked, this, [this] {
        canceled_ = true;
        emit cancelRequested();
    });
}

void StatusLine::setMessage(const QString& text) {
    if (historyEnabled_ && !messageLabel_->text().isEmpty())
        history_.append(messageLabel_->text());
    messageLabel_->setText(text);
}

void StatusLine::setMessage(const QString& text, const QIcon& icon) {
    setMessage(text);
    setStatusIcon(icon);
}

QString StatusLine::getMessage() const {
    return messageLabel_->text();
}

void StatusLine::setStatusIcon(const QIcon& icon) {
    icon_ = icon;
    iconLabel_->setPixmap(icon.isNull() ? QPixmap() : icon.pixmap(16, 16));
    iconLabel_->setVisible(!icon.isNull());
}

QIcon StatusLine::getOkIcon() const {
    return style()->standardIcon(QStyle::SP_DialogApplyButton);
}
QIcon StatusLine::getWaitIcon() const {
    return style()->standardIcon(QStyle::SP_BrowserReload);
}
QIcon StatusLine::getStopIcon() const {
    return style()->standardIcon(QStyle::SP_BrowserStop);
}

void StatusLine::setBusyIndicatorActive(bool active) {
    busy_->setVisible(active);
    cancel_->setVisible(active && cancelEnabled_);
    if (active)
        canceled_ = false;
}

bool StatusLine::isBusyIndicatorActive() const {
    return !busy_->isHidden();
}

void StatusLine::setCancelEnabled(bool enabled) {
    cancelEnabled_ = enabled;
    cancel_->setVisible(enabled && isBusyIndicatorActive());
}

void StatusLine::addUserComponent(QWidget* component) {
    if (!component || users_.contains(component))
        return;
    users_.append(component);
    addPermanentWidget(component);
    component->show();
}

void StatusLine::removeUserComponent(QWidget* component) {
    if (!component)
        return;
    users_.removeAll(component);
    // The component stays a child of the status line (a rebuild may add it again); it goes
    // with the status line.
    removeWidget(component);
    component->hide();
}

QList<QWidget*> StatusLine::getUserComponents() const {
    QList<QWidget*> out;
    for (const QPointer<QWidget>& w : users_)
        if (w)
            out.append(w);
    return out;
}

void StatusLine::removeAllUserComponents() {
    for (QWidget* w : getUserComponents())
        removeUserComponent(w);
    users_.clear();
}

// ---- StatusLabelData ---------------------------------------------------------------

void StatusLabelData::setText(const QString& text) {
    text_ = text;
    update();
}

void StatusLabelData::setIcon(const QIcon& icon) {
    icon_ = icon;
    update();
}

QLabel* StatusLabelData::getComponent() {
    if (!label_) {
        label_ = new QLabel;
        label_->setObjectName(QStringLiteral("statusLabel"));
        update();
    }
    return label_;
}

QLabel* StatusLabelData::findComponent() const {
    return label_;
}

void StatusLabelData::update() {
    if (!label_)
        return;
    if (icon_.isNull())
        label_->setText(text_);
    else
        label_->setPixmap(icon_.pixmap(16, 16));
    label_->setToolTip(icon_.isNull() ? QString() : text_);
}

} // namespace panekit
