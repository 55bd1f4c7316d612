#include "tomcatrunner/keptserver.h"

#include "tomcatrunner/filelock.h"
#include "tomcatrunner/managedtomcat.h"

#include <csignal>
#include <thread>

namespace tomcatrunner {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

bool KeptServer::alive() const {
    return FileLock::isHeld(files_.aliveLock());
}

std::optional<ServerState> KeptServer::state() const {
    return ServerState::read(files_.state());
}

bool KeptServer::awaitGone(std::chrono::milliseconds timeout) const {
    const auto deadline = Clock::now() + timeout;
    while (alive()) {
        if (Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

bool KeptServer::stop(std::chrono::milliseconds grace) const {
    if (!alive()) {
        return false;
    }
    // A keeper names itself in the state file first thing; give one that was just started
    // the moment it needs.
    std::optional<ServerState> named = state();
    const auto deadline = Clock::now() + 5s;
    while (!named && alive() && Clock::now() < deadline) {
        std::this_thread::sleep_for(50ms);
        named = state();
    }
    if (!named) {
        if (!alive()) {
            return true;
        }
        throw TomcatError("a server of " + files_.base().string() +
                          " runs but its state file names no keeper");
    }
    // While the alive lock is held one of the two lives, and the JVM does not outlive its
    // keeper by more than its own end: the pids are still theirs.
    ::kill(named->keeper, SIGTERM);
    if (awaitGone(grace)) {
        return true;
    }
    ::kill(named->keeper, SIGKILL);
    if (named->jvm > 0) {
        ::kill(named->jvm, SIGKILL);
    }
    if (awaitGone(10s)) {
        return true;
    }
    throw TomcatError("the server of " + files_.base().string() + " (keeper " +
                      std::to_string(named->keeper) + ", JVM " + std::to_string(named->jvm) +
                      ") does not stop");
}

} // namespace tomcatrunner
