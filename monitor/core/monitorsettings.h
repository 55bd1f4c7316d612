#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tracewin {

// The debug settings that the monitor writes and the page compiler reads.
struct DebugSettings {
    int port = 8082;
    bool debugModeOn = false;
    bool retrieveSyntaxErr = false;
    bool skipRunAnimation = true;
    friend bool operator==(const DebugSettings&, const DebugSettings&) = default;
};

// The monitor's small settings files: where each lives, its keys and their order, the
// defaults and the messages on failure. Every writer replaces its file whole, so a crash
// never leaves a truncated file; a file that cannot be written keeps its old contents and
// the caller's value stays unchanged.
//
//   PROGRAM/jspdebug.properties                    port (first line), DebugModeOn,
//                                                  RetrieveSyntaxErr, SkipRunAnimation,
//                                                  SendVariables
//   PROGRAM/com/zet/kwo/jsp/ui/runPause.properties      RunPause
//   PROGRAM/com/zet/kwo/jsp/ui/skipAnimation.properties SkipRunAnimation
//   PROGRAM/com/zet/kwo/jsp/ui/resetPortNum.properties  isResetPortNum
//   PROGRAM/com/zet/kwo/jsp/ui/monitorStatus.properties IsMonitorWindowExists
//
// PROGRAM is the monitor's install path; the preferences page reaches the same debug
// settings file from the runtime home (RUNTIME/../../tools/com-zet-kwo-ui-jspdebug/). An
// install whose settings belong to its user (see tracehook::SettingsLocation) has them in
// the user's folder instead, laid out alike.
class MonitorSettings {
public:
    using LabelLookup = std::function<std::string(std::string_view key)>;

    MonitorSettings(std::string programDir, std::string runtimeHome, LabelLookup labels);
    // The install's directories and the tool label bundle.
    static MonitorSettings fromInstall();
    // Where the settings of the monitor installed in programDir live: programDir itself, or
    // the user's folder, with the folder of the flag files made in it.
    static std::string settingsDirectoryOf(const std::string& programDir);

    // The folder that holds the settings files (settingsDirectoryOf the install).
    const std::string& programDir() const { return programDir_; }
    std::string debugSettingsPath() const;            // as the connection controller opens it
    std::string debugSettingsPathFromRuntime() const; // as the preferences page opens it
    std::string runPausePath() const;
    std::string skipAnimationPath() const;
    std::string resetPortNumPath() const;
    std::string monitorStatusPath() const;

    // The port from the first line of the debug settings file (text after its first "="),
    // or nullopt when that line does not hold a decimal number.
    std::optional<int> getConnectPort() const;

    // All four debug settings, each missing one at its default.
    DebugSettings displaySettings() const;
    // Writes the four settings, port line first. False when the file cannot be written.
    bool saveCurrentDebugMode(const DebugSettings& settings) const;

    // Whether page runtimes send their variables (SendVariables in the debug settings file
    // the runtimes read). The other lines of the file, comments included, stay as they are;
    // the key goes after the last setting when it is not there yet. False when the file
    // cannot be read or written (a runtime then sends no variables).
    bool saveSendVariables(bool send) const;
    std::optional<bool> getSendVariables() const;

    bool getIsRunPause() const;
    bool saveIsRunPause(bool runPause) const;
    bool getIsSkipRunAnimation() const;
    bool saveIsSkipRunAnimation(bool skip) const;
    bool saveIsResetPortNum(bool reset) const;
    bool retrieveIsMonitorWindowExists() const;
    bool saveIsMonitorWindowExists(bool exists) const;

    // The pause before each automatic step of an animated run, in milliseconds (its own
    // file, com/zet/kwo/jsp/ui/animationDelay.properties; 150 when unset or unreadable).
    static constexpr int defaultAnimationDelayMs = 150;
    std::string animationDelayPath() const;
    int getAnimationDelayMs() const;
    bool saveAnimationDelayMs(int delayMs) const;

private:
    bool writeFlagFile(const std::string& path, std::string_view key, bool value,
                       std::string_view commentKey, const std::string& failure,
                       bool showDialog) const;
    std::optional<bool> readFlag(const std::string& path, std::string_view key) const;
    std::string commentText(std::string_view key) const;

    std::string programDir_;
    std::string runtimeHome_;
    LabelLookup labels_;
};

} // namespace tracewin
