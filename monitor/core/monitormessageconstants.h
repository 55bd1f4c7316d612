#pragma once

namespace tracewin {

// Identifiers of the monitor's messages in its message file.
struct MonitorMessageConstants {
    static constexpr const char* END_TAG_FORBIDDEN = "0001";
    static constexpr const char* END_TAG_REQUIRED = "0002";
    static constexpr const char* START_TAG_MISSING = "0003";
    static constexpr const char* ABNORMAL_ENDING = "0004";
    static constexpr const char* HTML_ERRORS = "0005";
    static constexpr const char* HTML_ERROR = "0006";
};

} // namespace tracewin
