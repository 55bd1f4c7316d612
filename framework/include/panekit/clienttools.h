#pragma once

#include "panekit/linkevent.h"

#include <functional>

namespace panekit {

class Tool;

// What fills a window's client area, as its context sees it: a page or a workbook of
// pages, with the tools they built. The context forwards its own requests to it.
class ClientTools {
public:
    virtual ~ClientTools() = default;

    // The page or workbook controller.
    virtual Tool* getController() const = 0;
    virtual void activateAll() = 0;
    virtual bool windowClosing() = 0;
    virtual bool applicationExiting() = 0;
    virtual void uninstallAll() = 0;
    virtual void applyToAllTools(const std::function<void(Tool&)>& apply) = 0;
    // An event sent to the page or workbook from outside it.
    virtual void fireLinkEvent(const LinkEventPtr& event) = 0;
    virtual void fireModelEvent(const LinkEventPtr& event) = 0;
};

} // namespace panekit
