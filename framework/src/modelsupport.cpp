#include "panekit/modelsupport.h"

#include "panekit/browserframe.h"
#include "panekit/browserframemanager.h"

#include <QCoreApplication>
#include <QThread>

namespace panekit {
namespace {

void fireToFrames(const QString& appKey, const LinkEventPtr& event) {
    for (BrowserFrame* frame : BrowserFrameManager::getManager().getAllFrames())
        if (frame->getApplicationKey() == appKey)
            frame->fireModelEvent(event);
}

} // namespace

void ModelSupport::fireLinkEvent(const LinkEventPtr& event) const {
    QCoreApplication* app = QCoreApplication::instance();
    if (!event || !app)
        return;
    if (QThread::currentThread() != app->thread()) {
        QMetaObject::invokeMethod(
            app, [key = appKey_, event] { fireToFrames(key, event); }, Qt::QueuedConnection);
        return;
    }
    fireToFrames(appKey_, event);
}

} // namespace panekit
