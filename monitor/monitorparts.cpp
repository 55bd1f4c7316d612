#include "monitorparts.h"

#include "eventlogview.h"
#include "jspbreakmonitorcontroller.h"
#include "monitorcontroller.h"
#include "panekit/partsfactory.h"
#include "simplepagecontrollers.h"
#include "splitpagecontroller.h"

namespace tracewin {

void registerMonitorParts(panekit::PartsFactory& factory) {
    factory.registerTool<MonitorController>(QStringLiteral("com.zet.kwo.jsp.ui.MonitorController"));
    factory.registerTool<JspBreakMonitorController>(
        QStringLiteral("com.zet.kwo.jsp.ui.JspBreakMonitorController"));
    factory.registerTool<SplitPageController>(
        QStringLiteral("com.zet.kwo.jsp.ui.SplitPageController"));
    factory.registerTool<JspPageController>(QStringLiteral("com.zet.kwo.jsp.ui.JspPageController"));
    factory.registerTool<JavaPageController>(
        QStringLiteral("com.zet.kwo.jsp.ui.JavaPageController"));
    factory.registerTool<JspLstPageController>(
        QStringLiteral("com.zet.kwo.jsp.ui.JspLstPageController"));
    factory.registerTool<JspBreakPageController>(
        QStringLiteral("com.zet.kwo.jsp.ui.JspBreakPageController"));
    factory.registerTool<EventLogView>(QStringLiteral("com.zet.kwo.jsp.ui.EventLogView"));
}

} // namespace tracewin
