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

// Until the main page has its own controller, the JSP page carries the traffic of the
// views beside the JSP view as well: produced HTML down; breakpoints, the error walk,
// restarts and file switches up (a switch picked in the file list also goes down, so
// that the views follow it).
class JspPageController final : public SimplePageController {
    Q_OBJECT
public:
    JspPageController();
    QStringList getLinkEventNames() const override;
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
