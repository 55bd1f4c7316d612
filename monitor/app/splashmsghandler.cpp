#include "app/splashmsghandler.h"

#include "tracehook/jspmonitorresource.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>

namespace tracewin {

SplashMsgHandler::SplashMsgHandler(const QString& message) : window_(new QWidget) {
    tracehook::JspMonitorResource resource;
    window_->setWindowTitle(QString::fromStdString(resource.getToolString("L-JSPMonitorTitle")));
    window_->setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(window_);
    auto* label = new QLabel(message);
    label->setMargin(16);
    layout->addWidget(label);
    window_->adjustSize();
}

SplashMsgHandler::~SplashMsgHandler() = default;

void SplashMsgHandler::showSplashMsg() {
    if (!window_)
        return;
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        window_->move(area.center() - window_->rect().center());
    }
    window_->show();
    window_->raise();
    window_->activateWindow();
}

} // namespace tracewin
