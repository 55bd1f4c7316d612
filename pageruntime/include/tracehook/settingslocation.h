#pragma once

#include <string>

namespace tracehook {

// Where the monitor's writable settings live: the debug settings file, the flag files and
// window profiles below it, the log. The monitor and the page runtimes ask the same
// question here, so that both read and write the same debug settings file.
//
// An install folder that the user may write to holds the settings itself. An install that
// the user may not write to (a system-wide install), or whose folder holds the marker file
// "user.settings" (a packaged install, which the package manager alone changes, even for
// root), keeps them in the user's own folder instead: $XDG_CONFIG_HOME/tracewin, or
// ~/.config/tracewin, laid out as the install folder is. That folder is made on first use
// and given a copy of the installed debug settings file; a file the user has there is
// never replaced.
class SettingsLocation {
public:
    static constexpr const char* userSettingsMarker = "user.settings";
    static constexpr const char* debugSettingsFileName = "jspdebug.properties";
    static constexpr const char* userFolderName = "tracewin";

    // The folder holding the settings of the monitor installed in monitorInstallDir. When
    // they belong in the user's folder but it cannot be made, the install folder: its
    // defaults can still be read, and writes fail with their usual messages.
    static std::string settingsDirectory(const std::string& monitorInstallDir);
    // The debug settings file in settingsDirectory().
    static std::string debugSettingsFile(const std::string& monitorInstallDir);

    // Whether the settings of that install belong in the user's folder: it holds the
    // marker, or it is a folder the user may not write to.
    static bool belongsToUser(const std::string& monitorInstallDir);
    // $XDG_CONFIG_HOME/tracewin (an absolute XDG_CONFIG_HOME only), else
    // $HOME/.config/tracewin; empty when no home folder is known.
    static std::string userDirectory();
};

} // namespace tracehook
