#include "tracehook/settingslocation.h"

#include "tracehook/atomicfile.h"
#include "tracehook/systemproperties.h"
#include "tracehook/tracer.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace tracehook {
namespace {

namespace fs = std::filesystem;

constexpr const char* kClassName = "tracehook::SettingsLocation";

// Puts a copy of the installed file in the user's folder unless one is there, made so that
// a monitor and a page runtime starting together never replace each other's copy, nor a
// file of the user.
void seed(const fs::path& installed, const fs::path& target) {
    std::error_code ec;
    if (fs::exists(target, ec) || !fs::is_regular_file(installed, ec))
        return;
    std::ifstream in(installed, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad())
        return;
    if (AtomicFile::create(target.string(), bytes).empty())
        Tracer::trace(kClassName, "seed",
                      "Copied " + installed.string() + " to " + target.string());
}

} // namespace

std::string SettingsLocation::userDirectory() {
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/')
        return (fs::path(config) / userFolderName).string();
    const std::string home = SystemProperties::homeDirectory();
    if (home.empty())
        return {};
    return (fs::path(home) / ".config" / userFolderName).string();
}

bool SettingsLocation::belongsToUser(const std::string& monitorInstallDir) {
    const fs::path dir(monitorInstallDir);
    std::error_code ec;
    if (fs::exists(dir / userSettingsMarker, ec))
        return true;
    // A folder that is not there protects nothing: its files are simply missing.
    return fs::is_directory(dir, ec) && ::access(dir.c_str(), W_OK) != 0;
}

std::string SettingsLocation::settingsDirectory(const std::string& monitorInstallDir) {
    if (!belongsToUser(monitorInstallDir))
        return monitorInstallDir;
    const std::string user = userDirectory();
    std::error_code ec;
    if (user.empty() || (!fs::create_directories(user, ec) && !fs::is_directory(user, ec))) {
        Tracer::printLine("Error: Cannot make the settings folder " +
                          (user.empty() ? std::string("(no home folder)") : user) +
                          "; the settings of " + monitorInstallDir + " are read-only.");
        return monitorInstallDir;
    }
    seed(fs::path(monitorInstallDir) / debugSettingsFileName,
         fs::path(user) / debugSettingsFileName);
    return user;
}

std::string SettingsLocation::debugSettingsFile(const std::string& monitorInstallDir) {
    return (fs::path(settingsDirectory(monitorInstallDir)) / debugSettingsFileName).string();
}

} // namespace tracehook
