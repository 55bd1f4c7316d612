#include "tomcatrunner/serverkeeper.h"

#include "tomcatrunner/commandline.h"
#include "tomcatrunner/keeperlauncher.h"
#include "tomcatrunner/managedtomcat.h"
#include "tomcatrunner/signalpipe.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace tomcatrunner {

namespace fs = std::filesystem;
using FileClock = std::chrono::file_clock;

ServerKeeper::ServerKeeper(ServerFiles files, fs::path webapp, std::ostream& log)
    : files_(std::move(files)), webapp_(std::move(webapp)), log_(log) {}

void ServerKeeper::say(const std::string& message) {
    const std::time_t now = std::time(nullptr);
    char stamp[32] = "";
    std::tm local{};
    if (::localtime_r(&now, &local) != nullptr) {
        std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    }
    log_ << stamp << " keeper " << self_ << ": " << message << std::endl;
}

bool ServerKeeper::takeInheritedDescriptors() {
    // The alive lock must be the base's, and held by this process's copy (locking it again
    // through the same open file succeeds); the JVM inherits it, so it stays open on exec.
    struct stat held {};
    struct stat file {};
    if (::fstat(KeeperLauncher::AliveFd, &held) != 0 ||
        ::stat(files_.aliveLock().c_str(), &file) != 0 || held.st_dev != file.st_dev ||
        held.st_ino != file.st_ino || ::flock(KeeperLauncher::AliveFd, LOCK_EX | LOCK_NB) != 0) {
        return false;
    }
    ::fcntl(KeeperLauncher::AliveFd, F_SETFD, 0);
    struct stat ready {};
    if (::fstat(KeeperLauncher::ReadyFd, &ready) != 0 || !S_ISFIFO(ready.st_mode)) {
        return false;
    }
    readyFd_ = KeeperLauncher::ReadyFd;
    ::fcntl(readyFd_, F_SETFD, FD_CLOEXEC);
    return true;
}

void ServerKeeper::tellLauncher(const std::string& text) {
    if (readyFd_ < 0) {
        return;
    }
    // A launcher that has gone away makes this fail (EPIPE): nothing to do then.
    std::string_view rest = text;
    while (!rest.empty()) {
        const ssize_t n = ::write(readyFd_, rest.data(), rest.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        rest.remove_prefix(static_cast<std::size_t>(n));
    }
    ::close(readyFd_);
    readyFd_ = -1;
}

bool ServerKeeper::stateNamesThisKeeper() const {
    const std::optional<ServerState> state = ServerState::read(files_.state());
    return state && state->keeper == self_;
}

int ServerKeeper::run() {
    self_ = ::getpid();
    if (!takeInheritedDescriptors()) {
        log_ << "tomcatrunner: --keep-server is started by a run of tomcatrunner, not by hand"
             << std::endl;
        return ExitCode::UsageError;
    }
    // SIGPIPE too: a launcher gone away must not end the keeper while it tells it.
    SignalPipe signals({SIGTERM, SIGINT, SIGHUP, SIGCHLD, SIGPIPE});
    say("starting Tomcat in " + files_.base().string() + " for " + webapp_.string());

    ServerState state;
    state.keeper = self_;
    std::unique_ptr<ManagedTomcat> tomcat;
    try {
        // Named before Tomcat starts, so that --stop-server finds a keeper that is starting.
        state.write(files_.state());
        ManagedTomcatOptions options;
        options.base = files_.base();
        options.webapp = webapp_;
        options.jdwpPort = freeLoopbackPort();
        tomcat = ManagedTomcat::start(options);
        state.jvm = tomcat->pid();
        state.httpPort = tomcat->httpPort();
        state.jdwpPort = tomcat->jdwpPort();
        state.webapp = webapp_;
        state.write(files_.state());
    } catch (const std::exception& e) {
        tomcat.reset();
        if (stateNamesThisKeeper()) {
            std::error_code ec;
            fs::remove(files_.state(), ec);
        }
        say(std::string("cannot serve: ") + e.what());
        tellLauncher(std::string("error: ") + e.what());
        return ExitCode::TomcatFailed;
    }
    say("serving: JVM " + std::to_string(state.jvm) + ", HTTP on 127.0.0.1:" +
        std::to_string(state.httpPort) + ", JDWP on 127.0.0.1:" + std::to_string(state.jdwpPort));
    tellLauncher("ready\n");

    const std::string reason = watch(*tomcat, signals);
    say("stopping: " + reason);
    tomcat->stop();
    // A state file that names another keeper is that keeper's.
    if (stateNamesThisKeeper()) {
        std::error_code ec;
        fs::remove(files_.state(), ec);
    }
    say("stopped");
    // Gone before the run lock goes, so that a run waiting for it finds no server at all
    // rather than one that is ending.
    ::close(KeeperLauncher::AliveFd);
    runLock_.reset();
    return 0;
}

std::string ServerKeeper::watch(ManagedTomcat& tomcat, SignalPipe& signals) {
    const FileClock::time_point started = FileClock::now();
    for (;;) {
        const std::set<int> caught = signals.wait(Tick);
        for (const int s : {SIGTERM, SIGINT, SIGHUP}) {
            if (caught.contains(s)) {
                return std::string("asked to stop (") + ::strsignal(s) + ")";
            }
        }
        if (!tomcat.running()) {
            return "Tomcat ended by itself; the end of its log:\n" + tomcat.logTail();
        }
        if (!stateNamesThisKeeper()) {
            return "the state file " + files_.state().string() + " is gone or names another";
        }
        if (std::string idle = idleReason(started); !idle.empty()) {
            return idle;
        }
    }
}

std::string ServerKeeper::idleReason(FileClock::time_point started) {
    const auto idleSince = [&](const std::optional<UseMark>& mark) {
        const FileClock::time_point last = mark ? std::max(mark->lastUse, started) : started;
        const std::chrono::seconds idle = mark ? mark->idle : UseMark::DefaultIdle;
        return FileClock::now() - last >= idle ? idle : std::chrono::seconds(0);
    };
    if (idleSince(UseMark::read(files_.used())) == std::chrono::seconds(0)) {
        return {};
    }
    // Idle, unless a run holds the lock or took it just now: it is kept until the end.
    try {
        runLock_ = FileLock::tryLock(files_.runLock());
    } catch (const std::system_error&) {
        return {};
    }
    if (!runLock_) {
        return {};
    }
    const std::chrono::seconds idle = idleSince(UseMark::read(files_.used()));
    if (idle == std::chrono::seconds(0)) {
        runLock_.reset();
        return {};
    }
    return "no run has used it for " + std::to_string(idle.count()) + " s";
}

} // namespace tomcatrunner
