#pragma once

#include "tomcatrunner/filelock.h"
#include "tomcatrunner/serverstate.h"

#include <chrono>
#include <filesystem>

namespace pagerunner {
class StopSignal;
}

namespace tomcatrunner {

// Starts the keeper of a base (this program in its hidden mode: "--keep-server BASE
// --webapp DIR") and waits until its Tomcat answers. The keeper runs in a session of its
// own, so that a terminal's Ctrl+C, meant for the run, does not reach the server kept for
// the next runs; it is no child of the run (it is started through a child that ends at
// once), so a run that lives on never keeps it as a zombie. Its input is /dev/null and its
// output goes to the base's keeper log: a caller reading the run's output to its end
// does not wait for the keeper.
class KeeperLauncher {
public:
    // The descriptors the keeper finds open besides its standard ones: the base's alive
    // lock, taken by the run, and the pipe on which it says "ready" or "error: WHY".
    static constexpr int AliveFd = 3;
    static constexpr int ReadyFd = 4;

    struct Options {
        std::filesystem::path program; // the tomcatrunner program; this process's when empty
        std::chrono::milliseconds timeout{150'000};
    };

    // Starts the keeper, which takes over `aliveLock`, and returns its state once Tomcat
    // answers. Throws TomcatError with the keeper's reason, when it says nothing within the
    // timeout, or when `stop` is given (the keeper then goes on, and keeps its server).
    static ServerState launch(const ServerFiles& files, const std::filesystem::path& webapp,
                              FileLock aliveLock, const Options& options,
                              const pagerunner::StopSignal& stop);
};

} // namespace tomcatrunner
