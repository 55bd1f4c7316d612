#include "app/monitorparts.h"

#include "app/jspbreakmonitorcontroller.h"
#include "app/monitorcontroller.h"
#include "app/simplepagecontrollers.h"
#include "app/splitpagecontroller.h"
#include "panekit/partsfactory.h"
#include "views/browserview.h"
#include "views/eventlogview.h"
#include "views/htmlmodel.h"
#include "views/htmlview.h"
#include "views/javaview.h"
#include "views/jspbreakview.h"
#include "views/jsplstview.h"
#include "views/jspview.h"
#include "views/sourcemodels.h"
#include "views/stackmodel.h"
#include "views/stackview.h"
#include "views/variablesview.h"

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

    factory.registerTool<JspView>(QStringLiteral("com.zet.kwo.jsp.ui.JspView"));
    factory.registerTool<JavaView>(QStringLiteral("com.zet.kwo.jsp.ui.JavaView"));
    factory.registerTool<BrowserView>(QStringLiteral("com.zet.kwo.jsp.ui.BrowserView"));
    factory.registerTool<HtmlView>(QStringLiteral("com.zet.kwo.jsp.ui.HtmlView"));
    factory.registerTool<JspBreakView>(QStringLiteral("com.zet.kwo.jsp.ui.JspBreakView"));
    factory.registerTool<JspLstView>(QStringLiteral("com.zet.kwo.jsp.ui.JspLstView"));
    factory.registerTool<StackView>(QStringLiteral("com.zet.kwo.jsp.ui.StackView"));
    factory.registerTool<VariablesView>(QStringLiteral("com.zet.kwo.jsp.ui.VariablesView"));

    factory.registerModel<JspModel>(QStringLiteral("com.zet.kwo.jsp.ui.JspModel"));
    factory.registerModel<JavaModel>(QStringLiteral("com.zet.kwo.jsp.ui.JavaModel"));
    factory.registerModel<HtmlModel>(QStringLiteral("com.zet.kwo.jsp.ui.HtmlModel"));
    factory.registerModel<JspBreakModel>(QStringLiteral("com.zet.kwo.jsp.ui.JspBreakModel"));
    factory.registerModel<JspLstModel>(QStringLiteral("com.zet.kwo.jsp.ui.JspLstModel"));
    factory.registerModel<StackModel>(QStringLiteral("com.zet.kwo.jsp.ui.StackModel"));
}

} // namespace tracewin
