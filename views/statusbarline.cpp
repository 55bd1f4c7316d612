#include "statusbarline.h"

#include <QLabel>
#include <QStatusBar>

namespace tracewin {
namespace {
constexpr const char* kLabelName = "tracewinViewStatus";
}

StatusBarLine::StatusBarLine(QStatusBar* bar) {
    if (!bar)
        return;
    label_ = bar->findChild<QLabel*>(QString::fromLatin1(kLabelName));
    if (!label_) {
        label_ = new QLabel(QStringLiteral(" "), bar);
        label_->setObjectName(QString::fromLatin1(kLabelName));
        bar->addWidget(label_, 1);
    }
}

void StatusBarLine::setMessage(const QString& message) {
    if (label_)
        label_->setText(message);
}

QString StatusBarLine::getMessage() const {
    return label_ ? label_->text() : QString();
}

} // namespace tracewin
