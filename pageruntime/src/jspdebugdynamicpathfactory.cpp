#include "tracehook/jspdebugdynamicpathfactory.h"

#include "tracehook/properties.h"
#include "tracehook/systemproperties.h"
#include "tracehook/tracer.h"

namespace tracehook {
namespace {

constexpr const char* kClassName = "tracehook::JspDebugDynamicPathFactory";

bool onUnixWithoutLookupFile() {
    return SystemProperties::value("os.name") == JspDebugDynamicPathFactory::unixWithoutLookupFile;
}

std::string withoutTrailingSeparators(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// The root of which path is the runtime home <root>/jspvlm/nqc/bin, or nullopt.
std::optional<std::string> rootOfRuntimeHome(const std::string& javaHome) {
    std::string home = withoutTrailingSeparators(javaHome);
    const std::string suffix = std::string("/") + JspDebugDynamicPathFactory::runtimeHomeSuffix;
    if (home.size() <= suffix.size() ||
        home.compare(home.size() - suffix.size(), suffix.size(), suffix) != 0)
        return std::nullopt;
    std::string root = home.substr(0, home.size() - suffix.size());
    return root.empty() ? std::string("/") : root;
}

std::string joinRoot(const std::string& root, const std::string& rest) {
    if (!root.empty() && root.back() == '/')
        return root + rest;
    return root + "/" + rest;
}

} // namespace

std::optional<std::string>
JspDebugDynamicPathFactory::cutAfterTestEnvironmentName(const std::string& path) {
    const std::string name =
        onUnixWithoutLookupFile() ? testEnvironmentDirNameNoBlanks : testEnvironmentDirName;
    std::size_t at = path.find(name);
    if (at == std::string::npos)
        return std::nullopt;
    return path.substr(0, at + name.size());
}

std::optional<std::string> JspDebugDynamicPathFactory::getHarbeckFullPath() {
    std::optional<std::string> serverRoot = SystemProperties::get("server.root");
    if (serverRoot) {
        if (!onUnixWithoutLookupFile() && !SystemProperties::get("kwo.version")) {
            const std::string file = joinRoot(*serverRoot, pathFileName);
            std::optional<Properties> props = Properties::load(file);
            if (!props) {
                Tracer::printLine("Error: Cannot open the file: " + file);
                return std::nullopt;
            }
            std::optional<std::string> root = props->get("JSPVLMFullPath");
            if (!root || root->empty()) {
                Tracer::printLine("Error: The variable harbeckFullPath is not set.");
                return std::nullopt;
            }
            return withoutTrailingSeparators(*root);
        }
        return cutAfterTestEnvironmentName(*serverRoot);
    }
    return getProgramFullPathFromNQC();
}

std::optional<std::string> JspDebugDynamicPathFactory::getProgramFullPathFromNQC() {
    const std::string javaHome = SystemProperties::value("java.home");
    std::optional<std::string> root = rootOfRuntimeHome(javaHome);
    if (!root) {
        Tracer::trace(kClassName, "getProgramFullPathFromNQC",
                      "Warning: The java home path is not in the NQC directory: " + javaHome);
        root = cutAfterTestEnvironmentName(javaHome);
    }
    Tracer::dump(kClassName, "getProgramFullPathFromNQC",
                 "Program full path: " + root.value_or("null"));
    return root;
}

std::optional<std::string> JspDebugDynamicPathFactory::getMonitorInstallPath() {
    if (std::optional<std::string> serverRoot = SystemProperties::get("server.root")) {
        const std::string file = joinRoot(*serverRoot, monitorPathFileName);
        Tracer::trace(kClassName, "getMonitorInstallPath",
                      "Monitor install path filename: " + file);
        if (std::optional<Properties> props = Properties::load(file)) {
            std::optional<std::string> path = props->get("MonitorFullPath");
            if (path && !path->empty()) {
                Tracer::trace(kClassName, "getMonitorInstallPath",
                              "The monitor full path is: " + *path);
                return withoutTrailingSeparators(*path);
            }
            Tracer::trace(kClassName, "getMonitorInstallPath",
                          "The variable monitorFullPath is not set.");
        } else {
            Tracer::trace(kClassName, "getMonitorInstallPath", "Cannot open the file: " + file);
        }
    }
    std::optional<std::string> root = getHarbeckFullPath();
    if (!root)
        return std::nullopt;
    std::string path = joinRoot(*root, monitorInstallSuffix);
    Tracer::trace(kClassName, "getMonitorInstallPath", "The monitor full path is: " + path);
    return path;
}

std::optional<std::string> JspDebugDynamicPathFactory::getNQCMonitorClasspath() {
    std::optional<std::string> root = getHarbeckFullPath();
    if (!root)
        return std::nullopt;
    const char sep = SystemProperties::pathSeparator;
    const std::string jspvlm = joinRoot(*root, "jspvlm/");
    const std::string lib = joinRoot(*root, "jspvlm/nqc/lib/");
    std::string cp = "\"";
    cp += jspvlm + "tracewin.nql" + sep;
    cp += jspvlm + "tracehook.nql" + sep;
    cp += lib + "uikitlib.nql" + sep;
    cp += lib + "jsp_panekit.nql" + sep;
    cp += joinRoot(*root, "com/zet/kwo/jsp/ui") + sep;
    cp += lib + "swingall.jar" + sep;
    cp += lib + "rtpanekit.jar";
    cp += "\"";
    return cp;
}

std::optional<std::string> JspDebugDynamicPathFactory::getMonitorClasspath() {
    std::optional<std::string> root = getHarbeckFullPath();
    if (!root)
        return std::nullopt;
    std::string parent =
        root->substr(0, root->find_last_of('/') == std::string::npos ? 0 : root->find_last_of('/'));
    if (parent.empty())
        parent = ".";
    const char sep = SystemProperties::pathSeparator;
    std::string cp;
    for (const char* dir : {"ZET Java Implementation", "Java class libraries",
                            "JFC class libraries", "ZET IDE Utility local implementation"}) {
        cp += parent + "/" + dir + sep;
    }
    cp += parent + "/panekitlib/panekit.jar" + sep;
    cp += parent + "/swing/swingall.jar" + sep;
    cp += parent + "/program/lib/classes.zip";
    return cp;
}

} // namespace tracehook
