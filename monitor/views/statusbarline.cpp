#include "views/statusbarline.h"

#include "views/statustextlabel.h"

#include <QMainWindow>
#include <QStatusBar>

namespace tracewin {
namespace {
constexpr const char* kLabelName = "tracewinViewStatus";
}

StatusBarLine::StatusBarLine(QMainWindow* window) : window_(window) {
    label();
}

StatusTextLabel* StatusBarLine::label() const {
    if (!window_)
        return nullptr;
    QStatusBar* bar = window_->statusBar();
    auto* found = bar->findChild<StatusTextLabel*>(QString::fromLatin1(kLabelName));
    if (!found) {
        found = new StatusTextLabel(bar);
        found->setText(QStringLiteral(" "));
        found->setObjectName(QString::fromLatin1(kLabelName));
        bar->addWidget(found, 1);
    }
    return found;
}

void StatusBarLine::setMessage(const QString& message) {
    if (StatusTextLabel* l = label())
        l->setText(message);
}

QString StatusBarLine::getMessage() const {
    StatusTextLabel* l = label();
    return l ? l->text() : QString();
}

} // namespace tracewin
