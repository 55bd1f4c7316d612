#include "core/installpaths.h"

#include "tracehook/classpath.h"
#include "tracehook/jspdebugdynamicpathfactory.h"
#include "tracehook/systemproperties.h"

namespace tracewin {

void setUpInstallPaths(const std::optional<std::string>& runtimeHome) {
    tracehook::SystemProperties::initFromProcess();
    if (runtimeHome)
        tracehook::SystemProperties::set("java.home", *runtimeHome);
    std::vector<std::string> directories;
    if (std::optional<std::string> program =
            tracehook::JspDebugDynamicPathFactory::getMonitorInstallPath())
        directories.push_back(*program);
    if (std::optional<std::string> root =
            tracehook::JspDebugDynamicPathFactory::getHarbeckFullPath())
        directories.push_back(*root);
    tracehook::ClassPath::setDirectories(std::move(directories));
}

} // namespace tracewin
