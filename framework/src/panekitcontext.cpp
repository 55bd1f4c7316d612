#include "panekit/panekitcontext.h"

#include "panekit/application.h"

namespace panekit {

PanekitContext::PanekitContext(const QString& appKey, QObject* parent)
    : QObject(parent), appKey_(appKey) {}

PanekitContext::~PanekitContext() = default;

Application* PanekitContext::getApplication() const {
    return Application::getApplication(appKey_);
}

void PanekitContext::setActivated(bool activated) {
    if (activated == activated_)
        return;
    activated_ = activated;
    emit stateChanged();
}

} // namespace panekit
