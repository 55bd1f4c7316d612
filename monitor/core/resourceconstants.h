#pragma once

namespace tracewin {

// Resource keys of the monitor's menu and tool-bar texts (application "Monitor").
struct ResourceConstants {
    static constexpr const char* M_Action = "MAction";
    static constexpr const char* MI_Step = "MiStep";
    static constexpr const char* MI_Run = "MiRun";
    static constexpr const char* MI_FastForward = "MiFastForward";
    static constexpr const char* MI_Terminate = "MiTerminate";
    static constexpr const char* MI_AniEnabled = "MiAniEnabled";
    static constexpr const char* MI_Exit = "MiExit";
    static constexpr const char* MI_Halt = "MiHalt";
    static constexpr const char* MI_Separator = "MiSeparator";
    static constexpr const char* M_SyntaxErr = "MSyntaxErr";
    static constexpr const char* MI_PrevErr = "MiPrevErr";
    static constexpr const char* MI_NextErr = "MiNextErr";
    static constexpr const char* MI_JspPref = "MiPreferences";
    static constexpr const char* MI_OpenPage = "MiOpenPage";
    static constexpr const char* TT_Step = "TiStep";
    static constexpr const char* TT_Run = "TiRun";
    static constexpr const char* TT_FastForward = "TiFastForward";
    static constexpr const char* TT_Terminate = "TiTerminate";
    static constexpr const char* TT_Exit = "TiExit";
    static constexpr const char* TT_PrevErr = "TiPrevErr";
    static constexpr const char* TT_NextErr = "TiNextErr";
    static constexpr const char* M_View = "MView";
    static constexpr const char* MI_JspView = "MiJspView";
    static constexpr const char* MI_JavaView = "MiJavaView";
    static constexpr const char* MI_HtmlView = "MiHtmlView";
    static constexpr const char* MI_HtmlTagsView = "MiHtmlTagsView";
    static constexpr const char* MI_BrowserView = "MiBrowserView";
    static constexpr const char* TT_JspView = "TiJspView";
    static constexpr const char* TT_JavaView = "TiJavaView";
    static constexpr const char* TT_HtmlView = "TiHtmlView";
    static constexpr const char* TT_HtmlTagsView = "TiHtmlTagsView";
    static constexpr const char* TT_BrowserView = "TiBrowserView";
};

// Help topic keys of the views and the preferences page.
struct HelpConstants {
    static constexpr const char* HELP_JSP_VIEW = "h_JspView";
    static constexpr const char* HELP_JAVA_VIEW = "h_JavaView";
    static constexpr const char* HELP_HTML_VIEW = "h_HtmlView";
    static constexpr const char* HELP_JSP_LST_VIEW = "h_JspLstView";
    static constexpr const char* HELP_JSP_PREF = "h_JspPref";
};

} // namespace tracewin
