#pragma once

#include "tempdir.h"
#include "tracehook/classpath.h"
#include "tracehook/debugconstants.h"
#include "tracehook/systemproperties.h"

#include <filesystem>
#include <string>

namespace testsupport {

// A test-environment tree laid out as an install lays it out, with its own port, its data
// files copied from the source tree's resources; the process's paths point at it while it
// lives.
class InstallTree {
public:
    InstallTree(int port, const std::filesystem::path& resources) {
        const std::filesystem::path root = dir.path();
        program = (root / "jspvlm/tools/com-zet-kwo-ui-jspdebug").string();
        std::filesystem::create_directories(root / "jspvlm/nqc/bin");
        std::filesystem::create_directories(program + "/com/zet/kwo/jsp/ui");
        std::filesystem::create_directories(root / "com/zet/kwo/jsp/debugger");
        for (const char* f : {"JspToolLabel.properties", "JspExeLabel.properties"})
            std::filesystem::copy_file(resources / "debugger" / f,
                                       root / "com/zet/kwo/jsp/debugger" / f);
        for (const char* f :
             {"default.properties", "Monitor.cfg", "Monitor.properties", "MonitorMsg.properties"})
            std::filesystem::copy_file(resources / "monitor/ui" / f,
                                       std::filesystem::path(program) / "com/zet/kwo/jsp/ui" / f);
        dir.write("jspvlm/tools/com-zet-kwo-ui-jspdebug/jspdebug.properties",
                  "port=" + std::to_string(port) +
                      "\nDebugModeOn=false\nRetrieveSyntaxErr=true\nSkipRunAnimation=false\n");
        tracehook::SystemProperties::reset();
        tracehook::SystemProperties::set("java.home", (root / "jspvlm/nqc/bin").string());
        tracehook::SystemProperties::set("os.name", "Linux");
        tracehook::SystemProperties::set("user.dir", root.string());
        tracehook::ClassPath::setDirectories({program, root.string()});
        tracehook::DebugConstants::lookAgain();
    }
    ~InstallTree() {
        tracehook::ClassPath::setDirectories({});
        tracehook::SystemProperties::reset();
    }
    InstallTree(const InstallTree&) = delete;
    InstallTree& operator=(const InstallTree&) = delete;

    TempDir dir;
    std::string program;
};

} // namespace testsupport
