#pragma once

#include "tomcatrunner/filelock.h"
#include "tomcatrunner/serverstate.h"

#include <chrono>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>

namespace tomcatrunner {

class ManagedTomcat;
class SignalPipe;

// The keeper of a kept server: the process that starts Tomcat for a base and is its JVM's
// parent, so that the JVM ends when the keeper does, however it ends (the JVM is told to
// follow its parent). A process of its own, rather than the run that needs the server,
// because the server outlives runs and must still end with something: the keeper stops
// it (SIGTERM, then SIGKILL after a grace time) when
//   - it is asked to: SIGTERM, SIGINT or SIGHUP, which `tomcatrunner --stop-server` sends;
//   - no run has used it for the idle time of the latest run (UseMark), which the keeper
//     checks holding the run lock, so that no run takes the server while it stops;
//   - the base's state file no longer names it (the work folder was removed);
// and it ends when the JVM ends by itself. It is single-threaded: the JVM follows the
// thread that started it.
class ServerKeeper {
public:
    static constexpr std::chrono::milliseconds Tick{250};

    ServerKeeper(ServerFiles files, std::filesystem::path webapp, std::ostream& log);

    // The keeper's life, started by KeeperLauncher, whose descriptors it expects. Returns
    // the exit code.
    int run();

private:
    bool takeInheritedDescriptors();
    // Says "ready" or "error: WHY" to the run that started the keeper.
    void tellLauncher(const std::string& text);
    // Serves until a reason to stop comes, and returns it.
    std::string watch(ManagedTomcat& tomcat, SignalPipe& signals);
    std::string idleReason(std::chrono::file_clock::time_point started);
    bool stateNamesThisKeeper() const;
    void say(const std::string& message);

    ServerFiles files_;
    std::filesystem::path webapp_;
    std::ostream& log_;
    pid_t self_ = 0;
    int readyFd_ = -1;
    std::optional<FileLock> runLock_; // held while an idle server stops
};

} // namespace tomcatrunner
