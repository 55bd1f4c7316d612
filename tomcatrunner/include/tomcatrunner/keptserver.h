#pragma once

#include "tomcatrunner/serverstate.h"

#include <chrono>
#include <optional>

namespace tomcatrunner {

// A kept server seen from outside its keeper, through the files of its base: whether it
// lives, what it serves, and how to stop it.
class KeptServer {
public:
    explicit KeptServer(ServerFiles files) : files_(std::move(files)) {}

    // Whether its keeper or its JVM still runs.
    bool alive() const;
    std::optional<ServerState> state() const;

    // Asks the keeper to stop its Tomcat (SIGTERM) and waits until both are gone; kills
    // both when they outlive the grace time. False when none ran. Throws TomcatError when
    // they cannot be stopped. The state file is left to whoever holds the run lock.
    bool stop(std::chrono::milliseconds grace = std::chrono::milliseconds{20'000}) const;

private:
    bool awaitGone(std::chrono::milliseconds timeout) const;

    ServerFiles files_;
};

} // namespace tomcatrunner
