#pragma once

#include "panekit/linklistener.h"
#include "panekit/tool.h"

#include <QPointer>

namespace panekit {

// The entry of a tool in other tools' listener chains. Chains outlive neither the page nor
// the tool in normal use, but a tool destroyed first must not be called: the guard turns the
// handle into a no-op then. Used on the tool's own thread only (Tool queues calls there).
class ToolLinkHandle final : public LinkListener {
public:
    explicit ToolLinkHandle(Tool* tool) : tool_(tool) {}

    Tool* tool() const { return tool_; }

    void linkChanged(const LinkEventPtr& event) override {
        if (Tool* t = tool_)
            t->linkChanged(event);
    }
    void linkChangedGeneric(const LinkEventPtr& event) override {
        if (Tool* t = tool_)
            t->linkChangedGeneric(event);
    }

private:
    QPointer<Tool> tool_;
};

} // namespace panekit
