#include "panekit/standardcontext.h"

#include <QMainWindow>
#include <QStatusBar>

namespace panekit {

StandardContext::StandardContext(QMainWindow* root, const QString& appKey)
    : PanekitContext(appKey), root_(root) {}

void StandardContext::setClient(QWidget* client) {
    if (root_)
        root_->setCentralWidget(client);
}

QWidget* StandardContext::getClient() const {
    return root_ ? root_->centralWidget() : nullptr;
}

void StandardContext::setStatusLine(QStatusBar* statusLine) {
    if (root_)
        root_->setStatusBar(statusLine);
}

QStatusBar* StandardContext::getStatusLine() const {
    return root_ ? root_->statusBar() : nullptr;
}

void StandardContext::setStatusComponent(QWidget* component) {
    if (QStatusBar* status = getStatusLine())
        status->addPermanentWidget(component);
}

void StandardContext::setStatusLineVisible(bool visible) {
    if (QStatusBar* status = getStatusLine())
        status->setVisible(visible);
}

void StandardContext::setBusy(bool busy) {
    PanekitContext::setBusy(busy);
    if (!root_)
        return;
    if (busy)
        root_->setCursor(Qt::WaitCursor);
    else
        root_->unsetCursor();
}

} // namespace panekit
