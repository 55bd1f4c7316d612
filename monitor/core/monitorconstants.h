#pragma once

namespace tracewin {

// Option names of the monitor's command line and the relative names of its settings
// files (".properties" is appended when a file is opened).
struct MonitorConstants {
    static constexpr const char* SERVER_OPTION = "-server";
    static constexpr const char* HIDE_OPTION = "-hide";
    static constexpr const char* EXTERNAL_OPTION = "-external";

    // From the runtime home (jspvlm/nqc/bin) to the monitor's tool directory.
    static constexpr const char* jspDebugFlagFilePath = "/../../tools/com-zet-kwo-ui-jspdebug/";
    static constexpr const char* jspDebugFlagFilename = "jspdebug";
    static constexpr const char* monitorStatusFilename = "/com/zet/kwo/jsp/ui/monitorStatus";
    static constexpr const char* resetPortNumFilename = "/com/zet/kwo/jsp/ui/resetPortNum";
    static constexpr const char* skipRunAnimationFilename = "/com/zet/kwo/jsp/ui/skipAnimation";
    static constexpr const char* runPauseFilename = "/com/zet/kwo/jsp/ui/runPause";
    static constexpr const char* propertiesSuffix = ".properties";

    static constexpr const char* MONITOR_MESSAGE_FILE_NAME = "com/zet/kwo/jsp/ui/MonitorMsg";
    static constexpr const char* defaultPropertiesResource =
        "com/zet/kwo/jsp/ui/default.properties";
    static constexpr const char* appStatusFilename = "appStatus.properties";

    static constexpr int DEFAULT_PORT = 8082;

    // The display font of the source text component (COMMON_VIEW_COMPONENT_FONT).
    static constexpr const char* COMMON_VIEW_COMPONENT_FONT_FAMILY = "Courier";
    static constexpr int COMMON_VIEW_COMPONENT_FONT_POINT_SIZE = 13;
};

} // namespace tracewin
