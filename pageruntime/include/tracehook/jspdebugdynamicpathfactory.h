#pragma once

#include <optional>
#include <string>

namespace tracehook {

// Finds the directories of an installed test environment:
//   <root>/jspvlm/nqc/bin                       runtime home ("java.home")
//   <root>/jspvlm/tools/com-zet-kwo-ui-jspdebug the monitor's install path
//   <root>/com/zet/kwo/jsp/debugger             label bundles and trace marker files
class JspDebugDynamicPathFactory {
public:
    // The name of the test-environment directory, and its blank-free form on "SunOS".
    static constexpr const char* testEnvironmentDirName = "ZET Harbeck Test Environment";
    static constexpr const char* testEnvironmentDirNameNoBlanks = "ZETHarbeckTestEnvironment";
    // The Unix platform ("os.name") on which the path lookup file is skipped.
    static constexpr const char* unixWithoutLookupFile = "SunOS";
    // Below the runtime home's root.
    static constexpr const char* runtimeHomeSuffix = "jspvlm/nqc/bin";
    static constexpr const char* monitorInstallSuffix = "jspvlm/tools/com-zet-kwo-ui-jspdebug";
    static constexpr const char* pathFileName = "jspvlmPath.properties";
    static constexpr const char* monitorPathFileName = "monitorPath.properties";

    // The test-environment root:
    // 1. with "server.root" set, "kwo.version" unset and not on the Unix platform above:
    //    the value of "JSPVLMFullPath" in server.root/jspvlmPath.properties;
    // 2. with "server.root" set otherwise: server.root cut after the test-environment
    //    directory name;
    // 3. without "server.root": the root of the runtime home ("java.home" names
    //    <root>/jspvlm/nqc/bin), or "java.home" cut after the test-environment name.
    // nullopt when none of these yields a root.
    static std::optional<std::string> getHarbeckFullPath();

    // The root derived from the runtime home as in step 3.
    static std::optional<std::string> getProgramFullPathFromNQC();

    // The monitor's install path: "MonitorFullPath" of server.root/monitorPath.properties
    // when that file names it, else <root>/jspvlm/tools/com-zet-kwo-ui-jspdebug.
    static std::optional<std::string> getMonitorInstallPath();

    // The class path with which the monitor is started on the native runtime, in quotes.
    static std::optional<std::string> getNQCMonitorClasspath();

    // The class path for running the monitor inside the IDE's own runtime.
    static std::optional<std::string> getMonitorClasspath();

private:
    static std::optional<std::string> cutAfterTestEnvironmentName(const std::string& path);
};

} // namespace tracehook
