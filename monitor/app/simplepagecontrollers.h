#pragma once

#include "panekit/tool.h"

namespace tracewin {

// The controller of a page that holds a single view: events from the connection
// controller go down to the page's panes (startup, highlight, step, client exit), commands
// from the panes go up (resume, exit).
class SimplePageController : public panekit::Tool {
    Q_OBJECT
public:
    SimplePageController();
    QStringList getLinkEventNames() const override;

protected:
    // Re-fires an event of kind E to the page's panes, or passes it to the parent.
    template <class E> void passDown() {
        onLinkEvent<E>([this](const E& e) { fireLinkEvent(e); });
    }
    template <class E> void passUp() {
        onLinkEvent<E>([this](const E& e) { fireParentLinkEvent(e); });
    }
};

class JspPageController final : public SimplePageController {
    Q_OBJECT
};
class JspLstPageController final : public SimplePageController {
    Q_OBJECT
};

// The Java and breakpoint pages also take model-state updates, and do nothing with them.
class JavaPageController final : public SimplePageController {
    Q_OBJECT
public:
    JavaPageController();
};
class JspBreakPageController final : public SimplePageController {
    Q_OBJECT
public:
    JspBreakPageController();
};

} // namespace tracewin
