#include "core/monitorsettings.h"

#include "core/monitorconstants.h"
#include "core/settingsfilecache.h"
#include "tracehook/atomicfile.h"
#include "tracehook/decimal.h"
#include "tracehook/jspdebugdynamicpathfactory.h"
#include "tracehook/jspresource.h"
#include "tracehook/messagehandler.h"
#include "tracehook/properties.h"
#include "tracehook/settingslocation.h"
#include "tracehook/systemproperties.h"
#include "tracehook/tracer.h"

#include <filesystem>
#include <fstream>
#include <vector>

namespace tracewin {
namespace {

constexpr const char* kSource = "MonitorSettings";
constexpr const char* kSendVariables = "SendVariables";

const char* boolText(bool b) {
    return b ? "true" : "false";
}

void trace(std::string_view method, const std::string& message) {
    tracehook::Tracer::trace(kSource, method, message);
}

// A write failure is always printed: the user's choice was not kept.
void reportWriteFailure(const std::string& message, bool showDialog,
                        const MonitorSettings::LabelLookup& labels) {
    tracehook::Tracer::printLine(message);
    if (showDialog)
        tracehook::MessageHandler::showToolError(labels("E-FileWriteFailed"));
}

} // namespace

MonitorSettings::MonitorSettings(std::string programDir, std::string runtimeHome,
                                 LabelLookup labels)
    : programDir_(settingsDirectoryOf(programDir)), runtimeHome_(std::move(runtimeHome)),
      labels_(std::move(labels)) {
    if (!labels_)
        labels_ = [](std::string_view key) {
            return tracehook::JspResource::getToolString(key);
        };
}

MonitorSettings MonitorSettings::fromInstall() {
    return MonitorSettings(
        tracehook::JspDebugDynamicPathFactory::getMonitorInstallPath().value_or("."),
        tracehook::SystemProperties::value("java.home", "."), nullptr);
}

std::string MonitorSettings::settingsDirectoryOf(const std::string& programDir) {
    std::string dir = tracehook::SettingsLocation::settingsDirectory(programDir);
    if (dir != programDir) {
        // The flag files are written straight into their folder, which a user's new
        // settings folder lacks.
        std::error_code ec;
        std::filesystem::create_directories(
            std::filesystem::path(dir + MonitorConstants::runPauseFilename).parent_path(), ec);
    }
    return dir;
}

std::string MonitorSettings::debugSettingsPath() const {
    return programDir_ + "/" + MonitorConstants::jspDebugFlagFilename +
           MonitorConstants::propertiesSuffix;
}
std::string MonitorSettings::debugSettingsPathFromRuntime() const {
    return tracehook::SettingsLocation::debugSettingsFile(runtimeHome_ +
                                                          MonitorConstants::jspDebugFlagFilePath);
}
std::string MonitorSettings::runPausePath() const {
    return programDir_ + MonitorConstants::runPauseFilename + MonitorConstants::propertiesSuffix;
}
std::string MonitorSettings::skipAnimationPath() const {
    return programDir_ + MonitorConstants::skipRunAnimationFilename +
           MonitorConstants::propertiesSuffix;
}
std::string MonitorSettings::resetPortNumPath() const {
    return programDir_ + MonitorConstants::resetPortNumFilename +
           MonitorConstants::propertiesSuffix;
}
std::string MonitorSettings::monitorStatusPath() const {
    return programDir_ + MonitorConstants::monitorStatusFilename +
           MonitorConstants::propertiesSuffix;
}

std::string MonitorSettings::commentText(std::string_view key) const {
    return labels_(key);
}

std::optional<int> MonitorSettings::getConnectPort() const {
    std::ifstream in(debugSettingsPath(), std::ios::binary);
    if (!in) {
        trace("getConnectPort", "Cannot open the file: " + debugSettingsPath());
        return std::nullopt;
    }
    std::string first;
    std::getline(in, first);
    if (!first.empty() && first.back() == '\r')
        first.pop_back();
    std::size_t eq = first.find('=');
    if (eq == std::string::npos)
        return std::nullopt;
    return tracehook::parseDecimalInt32(std::string_view(first).substr(eq + 1));
}

DebugSettings MonitorSettings::displaySettings() const {
    DebugSettings s;
    std::optional<tracehook::Properties> props =
        tracehook::Properties::load(debugSettingsPathFromRuntime());
    if (!props) {
        trace("displaySettings",
              std::string("Cannot open the file: ") + MonitorConstants::jspDebugFlagFilename);
        return s;
    }
    if (std::optional<std::string> v = props->get("DebugModeOn"))
        s.debugModeOn = *v == "true";
    else
        trace("displaySettings",
              "The variable DebugModeOn is not set, the debug flag is set to false");
    if (std::optional<std::string> v = props->get("RetrieveSyntaxErr"))
        s.retrieveSyntaxErr = *v == "true";
    else
        trace("displaySettings",
              "The variable RetrieveSyntaxErr is not set, the syntax error flag is set to false");
    std::optional<int> port;
    if (std::optional<std::string> v = props->get("port"))
        port = tracehook::parseDecimalInt32(*v);
    if (port)
        s.port = *port;
    else
        trace("displaySettings", "The variable Port is not set, the port is set to 8082");
    if (std::optional<std::string> v = props->get("SkipRunAnimation"))
        s.skipRunAnimation = *v == "true";
    trace("displaySettings", std::string("The original debug mode is ") + boolText(s.debugModeOn));
    trace("displaySettings",
          std::string("The original syntax error flag is ") + boolText(s.retrieveSyntaxErr));
    trace("displaySettings", "The original port is " + std::to_string(s.port));
    trace("displaySettings",
          std::string("The original skip run animation flag is ") + boolText(s.skipRunAnimation));
    return s;
}

bool MonitorSettings::saveCurrentDebugMode(const DebugSettings& s) const {
    std::string text = "port=" + std::to_string(s.port);
    text += std::string("\nDebugModeOn=") + boolText(s.debugModeOn);
    text += std::string("\nRetrieveSyntaxErr=") + boolText(s.retrieveSyntaxErr);
    text += std::string("\nSkipRunAnimation=") + boolText(s.skipRunAnimation);
    // The monitor's own switch for the runtimes is not a preference: it stays as it was.
    if (std::optional<tracehook::Properties> old =
            tracehook::Properties::load(debugSettingsPathFromRuntime()))
        if (std::optional<std::string> send = old->get(kSendVariables))
            text += std::string("\n") + kSendVariables + "=" + *send;
    text += "\n\n" + commentText("L-DebugComment");
    std::string error = tracehook::AtomicFile::write(debugSettingsPathFromRuntime(), text);
    if (!error.empty()) {
        reportWriteFailure("Error: Cannot write to the property file jspdebug.properties\nJSP "
                           "debug flag and syntax "
                           "error flag will not be changed.",
                           true, labels_);
        return false;
    }
    auto quoted = [](const std::string& v) {
        return "\"" + v + "\"";
    };
    trace("saveCurrentDebugMode",
          "The JSP debug flag is set to " + quoted(boolText(s.debugModeOn)));
    trace("saveCurrentDebugMode",
          "The JSP syntax error retrieve info is set to " + quoted(boolText(s.retrieveSyntaxErr)));
    trace("saveCurrentDebugMode",
          "The skip run animation is set to " + quoted(boolText(s.skipRunAnimation)));
    trace("saveCurrentDebugMode", "The port number is set to " + quoted(std::to_string(s.port)));
    return true;
}

std::optional<bool> MonitorSettings::readFlag(const std::string& path, std::string_view key) const {
    std::shared_ptr<const tracehook::Properties> props = SettingsFileCache::load(path);
    if (!props) {
        trace("readFlag", "Cannot open the file: " + path);
        return std::nullopt;
    }
    std::optional<std::string> v = props->get(key);
    if (!v)
        return std::nullopt;
    return *v == "true";
}

bool MonitorSettings::writeFlagFile(const std::string& path, std::string_view key, bool value,
                                    std::string_view commentKey, const std::string& failure,
                                    bool showDialog) const {
    std::string text = std::string(key) + "=" + boolText(value) + "\n\n" + commentText(commentKey);
    std::string error = tracehook::AtomicFile::write(path, text);
    if (!error.empty()) {
        reportWriteFailure(failure, showDialog, labels_);
        return false;
    }
    return true;
}

std::optional<bool> MonitorSettings::getSendVariables() const {
    std::optional<tracehook::Properties> props = tracehook::Properties::load(debugSettingsPath());
    if (!props)
        return std::nullopt;
    std::optional<std::string> v = props->get(kSendVariables);
    return v ? std::optional<bool>(*v == "true") : std::nullopt;
}

bool MonitorSettings::saveSendVariables(bool send) const {
    const std::string path = debugSettingsPath();
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        trace("saveSendVariables", "Cannot open the file: " + path);
        return false;
    }
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(std::move(line));
    const std::string setting = std::string(kSendVariables) + "=" + boolText(send);
    auto isSetting = [](const std::string& line) {
        const std::size_t start = line.find_first_not_of(" \t\f");
        return start != std::string::npos && line[start] != '#' && line[start] != '!';
    };
    std::optional<std::size_t> lastSetting;
    bool replaced = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!isSetting(lines[i]))
            continue;
        lastSetting = i;
        if (tracehook::Properties::parse(lines[i]).contains(kSendVariables)) {
            lines[i] = setting;
            replaced = true;
        }
    }
    if (!replaced)
        lines.insert(lines.begin() +
                         static_cast<std::ptrdiff_t>(lastSetting ? *lastSetting + 1 : 0),
                     setting);
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    if (std::string error = tracehook::AtomicFile::write(path, text); !error.empty()) {
        reportWriteFailure("Error: Cannot write to the property file jspdebug.properties\nThe "
                           "page runtimes will not send variables.",
                           false, labels_);
        return false;
    }
    trace("saveSendVariables", setting);
    return true;
}

bool MonitorSettings::getIsRunPause() const {
    std::optional<bool> v = readFlag(runPausePath(), "RunPause");
    if (!v) {
        trace("getIsRunPause",
              "The variable isRunPause is not set, the default value false is assumed");
        return false;
    }
    return *v;
}

bool MonitorSettings::saveIsRunPause(bool runPause) const {
    return writeFlagFile(
        runPausePath(), "RunPause", runPause, "L-DebugComment",
        "Error: Cannot write to the property file /com/zet/kwo/jsp/ui/runPause.properties\nThe run "
        "pause flag will not be changed.",
        false);
}

bool MonitorSettings::getIsSkipRunAnimation() const {
    std::optional<bool> v = readFlag(skipAnimationPath(), "SkipRunAnimation");
    if (!v) {
        trace("getIsSkipRunAnimation",
              "The variable isSkipRunAnimation is not set, the default value true is assumed");
        return true;
    }
    return *v;
}

bool MonitorSettings::saveIsSkipRunAnimation(bool skip) const {
    return writeFlagFile(skipAnimationPath(), "SkipRunAnimation", skip, "L-DebugComment",
                         "Error: Cannot write to the property file "
                         "/com/zet/kwo/jsp/ui/skipAnimation.properties\nThe "
                         "animation flag will not be changed.",
                         false);
}

bool MonitorSettings::saveIsResetPortNum(bool reset) const {
    return writeFlagFile(resetPortNumPath(), "isResetPortNum", reset, "L-ResetPortNumComment",
                         "Error: Cannot write to the property file " + resetPortNumPath() +
                             "\nJSP reset port number flag will not be changed.",
                         false);
}

std::string MonitorSettings::animationDelayPath() const {
    return programDir_ + "/com/zet/kwo/jsp/ui/animationDelay" + MonitorConstants::propertiesSuffix;
}

int MonitorSettings::getAnimationDelayMs() const {
    std::shared_ptr<const tracehook::Properties> props =
        SettingsFileCache::load(animationDelayPath());
    std::optional<int> delay =
        props ? tracehook::parseDecimalInt32(props->value("AnimationDelayMs")) : std::nullopt;
    // A negative or absurd value would freeze or race the run: keep it between 0 and 10 s.
    return delay && *delay >= 0 && *delay <= 10000 ? *delay : defaultAnimationDelayMs;
}

bool MonitorSettings::saveAnimationDelayMs(int delayMs) const {
    const std::string text =
        "AnimationDelayMs=" + std::to_string(delayMs) + "\n\n" + commentText("L-DebugComment");
    if (!tracehook::AtomicFile::write(animationDelayPath(), text).empty()) {
        reportWriteFailure("Error: Cannot write to the property file " + animationDelayPath() +
                               "\nThe animation delay will not be changed.",
                           false, labels_);
        return false;
    }
    return true;
}

bool MonitorSettings::retrieveIsMonitorWindowExists() const {
    return readFlag(monitorStatusPath(), "IsMonitorWindowExists").value_or(false);
}

bool MonitorSettings::saveIsMonitorWindowExists(bool exists) const {
    return writeFlagFile(monitorStatusPath(), "IsMonitorWindowExists", exists,
                         "L-MonitorStatusComment",
                         "Error: Cannot write to the property file " + monitorStatusPath() +
                             "\nJSP monitor status will not be changed.",
                         true);
}

} // namespace tracewin
