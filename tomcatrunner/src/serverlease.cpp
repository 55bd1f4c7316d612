#include "tomcatrunner/serverlease.h"

#include "jdwp/debuggee.h"
#include "jdwp/error.h"
#include "pagerunner/stopsignal.h"
#include "tomcatrunner/httpexchange.h"
#include "tomcatrunner/keeperlauncher.h"
#include "tomcatrunner/keptserver.h"
#include "tomcatrunner/managedtomcat.h"

#include <csignal>
#include <system_error>
#include <thread>

namespace tomcatrunner {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

FileLock awaitRunLock(const ServerFiles& files, std::ostream& out,
                      const pagerunner::StopSignal& stop) {
    bool told = false;
    for (;;) {
        std::optional<FileLock> lock;
        try {
            lock = FileLock::tryLock(files.runLock());
        } catch (const std::system_error& e) {
            throw TomcatError(e.what());
        }
        if (lock) {
            return std::move(*lock);
        }
        // Its holder lives (the lock ends with it): a run, or a keeper stopping an idle
        // server. A run may take long, with its user stepping; the wait can be interrupted.
        if (!told) {
            out << "tomcatrunner: waiting for another run that uses the Tomcat of "
                << files.base().string() << std::endl;
            told = true;
        }
        if (stop.stopped()) {
            throw TomcatError("interrupted while waiting for the Tomcat of " +
                              files.base().string());
        }
        std::this_thread::sleep_for(50ms);
    }
}

bool answersHttp(int port) {
    try {
        // Tomcat itself refuses /WEB-INF/ (404): no page of the webapp runs for the probe.
        HttpExchange probe("127.0.0.1", port, "/WEB-INF/", 2s);
        probe.finish(10s);
        return probe.status() > 0;
    } catch (const HttpError&) {
        return false;
    }
}

// The agent listens anew once a debugger has left, and refuses connections meanwhile: a
// refused connection is tried again for a while.
std::unique_ptr<jdwp::Debuggee> attach(int port, std::chrono::milliseconds patience) {
    const auto deadline = Clock::now() + patience;
    for (;;) {
        try {
            return jdwp::Debuggee::attach("127.0.0.1", port);
        } catch (const jdwp::DisconnectedError&) {
            if (Clock::now() >= deadline) {
                throw;
            }
        }
        std::this_thread::sleep_for(100ms);
    }
}

// Why a live server cannot serve this run; "" when it can, and then `debuggee` is attached.
std::string refusal(const std::optional<ServerState>& state, const fs::path& webapp,
                    std::unique_ptr<jdwp::Debuggee>& debuggee) {
    if (!state || !state->ready()) {
        return "the server found is still starting, or left no state";
    }
    if (state->webapp != webapp) {
        return "the server found serves " + state->webapp.string();
    }
    if (::kill(state->keeper, 0) != 0) {
        return "the keeper of the server found has ended";
    }
    if (!answersHttp(state->httpPort)) {
        return "the server found does not answer HTTP on 127.0.0.1:" +
               std::to_string(state->httpPort);
    }
    try {
        debuggee = attach(state->jdwpPort, 5s);
    } catch (const jdwp::Error& e) {
        return std::string("the server found takes no debugger: ") + e.what();
    }
    return {};
}

} // namespace

ServerLease::ServerLease(ServerFiles files, FileLock runLock, std::chrono::seconds idle)
    : files_(std::move(files)), runLock_(std::move(runLock)), idle_(idle),
      log_(files_.tomcatLog()) {}

ServerLease::~ServerLease() {
    debuggee_.reset();
    // The idle time counts from here; the lock goes after the mark.
    (void)UseMark::write(files_.used(), idle_);
}

std::unique_ptr<jdwp::Debuggee> ServerLease::takeDebuggee() {
    return std::move(debuggee_);
}

bool ServerLease::running() const {
    return state_.jvm > 0 && FileLock::isHeld(files_.aliveLock()) && ::kill(state_.jvm, 0) == 0;
}

std::unique_ptr<ServerLease> ServerLease::acquire(const ServerLeaseOptions& options,
                                                  std::ostream& out,
                                                  const pagerunner::StopSignal& stop) {
    const ServerFiles files(options.base);
    std::error_code ec;
    fs::create_directories(files.base(), ec);
    if (ec) {
        throw TomcatError("cannot create " + files.base().string() + ": " + ec.message());
    }
    std::unique_ptr<ServerLease> lease(
        new ServerLease(files, awaitRunLock(files, out, stop), options.idle));
    // A failed mark only lets the keeper count from an older use.
    (void)UseMark::write(files.used(), options.idle);

    const KeptServer kept(files);
    const std::optional<ServerState> found = kept.state();
    if (kept.alive()) {
        const std::string why = refusal(found, options.webapp, lease->debuggee_);
        if (why.empty()) {
            lease->state_ = *found;
            lease->reused_ = true;
            out << "tomcatrunner: reusing Tomcat (JVM " << found->jvm << ") for "
                << options.webapp.string() << std::endl;
            return lease;
        }
        out << "tomcatrunner: stopping Tomcat: " << why << std::endl;
        kept.stop();
    }
    fs::remove(files.state(), ec);
    if (found && found->webapp != options.webapp) {
        // Another webapp's compiled pages must not stand for this one's.
        fs::remove_all(files.jasperWork(), ec);
    }

    std::optional<FileLock> alive;
    try {
        alive = FileLock::tryLock(files.aliveLock());
    } catch (const std::system_error& e) {
        throw TomcatError(e.what());
    }
    if (!alive) {
        throw TomcatError("the server of " + files.base().string() + " does not stop");
    }
    out << "tomcatrunner: starting Tomcat for " << options.webapp.string()
        << "; it is kept for the next runs (tomcatrunner --stop-server stops it)" << std::endl;
    KeeperLauncher::Options launch;
    launch.program = options.keeperProgram;
    lease->state_ = KeeperLauncher::launch(files, options.webapp, std::move(*alive), launch, stop);
    try {
        lease->debuggee_ = attach(lease->state_.jdwpPort, 10s);
    } catch (const jdwp::Error& e) {
        kept.stop();
        throw TomcatError(std::string("Tomcat started, but takes no debugger: ") + e.what());
    }
    return lease;
}

} // namespace tomcatrunner
