#include "views/statusbarline.h"

#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>

namespace tracewin {
namespace {
constexpr const char* kLabelName = "tracewinViewStatus";
}

StatusBarLine::StatusBarLine(QMainWindow* window) : window_(window) {
    label();
}

QLabel* StatusBarLine::label() const {
    if (!window_)
        return nullptr;
    QStatusBar* bar = window_->statusBar();
    auto* found = bar->findChild<QLabel*>(QString::fromLatin1(kLabelName));
    if (!found) {
        found = new QLabel(QStringLiteral(" "), bar);
        found->setObjectName(QString::fromLatin1(kLabelName));
        bar->addWidget(found, 1);
    }
    return found;
}

void StatusBarLine::setMessage(const QString& message) {
    if (QLabel* l = label())
        l->setText(message);
}

QString StatusBarLine::getMessage() const {
    QLabel* l = label();
    return l ? l->text() : QString();
}

} // namespace tracewin
