#pragma once

#include "core/debugsession.h"
#include "core/record.h"
#include "panekit/tool.h"

#include <memory>

namespace tracewin {

class ExitEvent;
class ResumeEvent;

// A controller for a page layout without a page runtime: it starts a fixed page and
// never opens a socket, so resumes find nothing to talk to.
class JspBreakMonitorController : public panekit::Tool {
    Q_OBJECT
public:
    JspBreakMonitorController();

    QStringList getLinkEventNames() const override;
    void toolActive() override;

    // The fixed start-up record ("1", simple.jsp twice).
    static Record fixedFileInfo();
    // The debugging session of the layout, which the controller owns and hands out.
    const std::shared_ptr<DebugSession>& session() const { return session_; }

private:
    void getFilenames();
    void handleResume(ResumeEvent& e);
    void handleExit(ExitEvent& e);
    void write(const std::string& line);
    Record read();

    std::shared_ptr<DebugSession> session_ = std::make_shared<DebugSession>();
};

} // namespace tracewin
