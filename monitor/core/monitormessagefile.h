#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tracewin {

// The monitor's user-visible diagnostic messages, looked up by a four-digit identifier in
// a localisable message file ("id=template" lines) and formatted with up to nine
// arguments ("%1" to "%9").
class MonitorMessageFile {
public:
    static constexpr const char* strAssignToken = "=";

    // Loads base + "_" + locale + ".properties" when it exists, else base + ".properties".
    explicit MonitorMessageFile(const std::string& baseName);

    // The shared instance, loaded on first use from the base set with setSharedBase
    // (the monitor's resource directory + "/com/zet/kwo/jsp/ui/MonitorMsg").
    static MonitorMessageFile& createMonitorMessageFile();
    static void setSharedBase(std::string baseName);

    bool initMsgInfo(const std::string& baseName);

    // The template, unformatted.
    std::optional<std::string> getMsgStr(std::string_view id) const;
    // The formatted message; an unknown identifier gives an empty text. A placeholder
    // without a matching argument, and a "%" not followed by a digit 1 to 9, stay as
    // they are written.
    std::string getMsgStr(std::string_view id, const std::vector<std::string>& args) const;

    static std::string format(std::string_view templ, const std::vector<std::string>& args);

private:
    std::map<std::string, std::string, std::less<>> msgLst;
};

} // namespace tracewin
