#pragma once

#include "tomcatrunner/filelock.h"
#include "tomcatrunner/serverstate.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <ostream>
#include <sys/types.h>

namespace jdwp {
class Debuggee;
}
namespace pagerunner {
class StopSignal;
}

namespace tomcatrunner {

struct ServerLeaseOptions {
    std::filesystem::path base;   // the CATALINA_BASE of the work folder
    std::filesystem::path webapp; // served at the root path
    // How long the server is kept without a run once this one has left.
    std::chrono::seconds idle = UseMark::DefaultIdle;
    std::filesystem::path keeperProgram; // the tomcatrunner program; this process's when empty
};

// One run's use of the Tomcat kept for its work folder, with the debugger attached. The
// server that the state file names is reused when it lives, serves the same webapp, and
// answers both HTTP and a debugger; otherwise it is stopped (a server serves one webapp at
// the root path, where the pages' requests and classes are looked for) and a new one is
// started (KeeperLauncher). The run lock is held from the search to the end of the lease,
// so that runs of one work folder take turns: no two start a server, and each has the
// debugger port, which takes one debugger at a time, to itself.
class ServerLease {
public:
    // Throws TomcatError when no server can be had, and when `stop` is given meanwhile.
    static std::unique_ptr<ServerLease> acquire(const ServerLeaseOptions& options,
                                                std::ostream& out,
                                                const pagerunner::StopSignal& stop);
    // Marks the use, and lets the next run have the server.
    ~ServerLease();
    ServerLease(const ServerLease&) = delete;
    ServerLease& operator=(const ServerLease&) = delete;

    // The debugger attached to the server, once; detach it (VirtualMachine.Dispose) before
    // the lease ends, so that the next run can attach.
    std::unique_ptr<jdwp::Debuggee> takeDebuggee();

    int httpPort() const { return state_.httpPort; }
    int jdwpPort() const { return state_.jdwpPort; }
    pid_t pid() const { return state_.jvm; }
    bool reused() const { return reused_; }
    const std::filesystem::path& log() const { return log_; }
    // Whether the JVM still runs.
    bool running() const;

private:
    ServerLease(ServerFiles files, FileLock runLock, std::chrono::seconds idle);

    ServerFiles files_;
    FileLock runLock_;
    std::chrono::seconds idle_;
    ServerState state_;
    bool reused_ = false;
    std::filesystem::path log_;
    std::unique_ptr<jdwp::Debuggee> debuggee_;
};

} // namespace tomcatrunner
