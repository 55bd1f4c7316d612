#include "panekit/paneframe.h"

#include "panekit/panecontext.h"

namespace panekit {

PaneFrame::PaneFrame(const QString& name, const QString& id, QWidget* parent)
    : BrowserFrame(id.isEmpty() ? name : id, parent) {
    setWindowTitle(name);
    setPanekitContext(std::make_unique<PaneContext>(this, getApplicationKey()));
}

PageWidget* PaneFrame::buildPanesForPage(const QString& pageName) {
    PaneContext* context = getPaneContext();
    return context ? context->buildPanesForPage(pageName) : nullptr;
}

PaneContext* PaneFrame::getPaneContext() const {
    return qobject_cast<PaneContext*>(getPanekitContext());
}

PaneManager* PaneFrame::getPaneManager() const {
    PaneContext* context = getPaneContext();
    return context ? context->getPaneManager() : nullptr;
}

} // namespace panekit
