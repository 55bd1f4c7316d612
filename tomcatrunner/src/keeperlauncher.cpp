#include "tomcatrunner/keeperlauncher.h"

#include "pagerunner/stopsignal.h"
#include "tomcatrunner/keptserver.h"
#include "tomcatrunner/managedtomcat.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace tomcatrunner {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct Descriptor {
    int fd = -1;
    explicit Descriptor(int f) : fd(f) {}
    ~Descriptor() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    void close() {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }
};

// The keeper's process: in the grandchild of the run, after setsid(), with its standard
// descriptors and the two it expects, nothing else. Only async-signal-safe calls: the run
// has other threads.
[[noreturn]] void becomeKeeper(char* const argv[], const int (&fds)[5], int lastFd,
                               const char* execFailed, std::size_t execFailedLength) {
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    for (const int s : {SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGPIPE, SIGCHLD}) {
        ::sigaction(s, &byDefault, nullptr);
    }
    // Above the targets first, so that no dup2 overwrites a descriptor still to be moved.
    int high[5];
    for (int i = 0; i < 5; ++i) {
        high[i] = ::fcntl(fds[i], F_DUPFD, 10);
        if (high[i] < 0) {
            ::_exit(127);
        }
    }
    for (int i = 0; i < 5; ++i) {
        ::dup2(high[i], i);
    }
    for (int fd = 5; fd <= lastFd; ++fd) {
        ::close(fd);
    }
    if (::chdir("/") != 0) {
        ::_exit(127);
    }
    ::execv(argv[0], argv);
    (void)!::write(STDERR_FILENO, execFailed, execFailedLength);
    ::_exit(127);
}

} // namespace

ServerState KeeperLauncher::launch(const ServerFiles& files, const fs::path& webapp,
                                   FileLock aliveLock, const Options& options,
                                   const pagerunner::StopSignal& stop) {
    fs::path program = options.program;
    std::error_code ec;
    if (program.empty()) {
        program = fs::read_symlink("/proc/self/exe", ec);
        if (ec) {
            throw TomcatError("cannot find this program to start the server's keeper: " +
                              ec.message());
        }
    }
    fs::create_directories(files.keeperLog().parent_path(), ec);
    Descriptor log(
        ::open(files.keeperLog().c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
    Descriptor devNull(::open("/dev/null", O_RDWR | O_CLOEXEC));
    int pipeFds[2] = {-1, -1};
    if (log.fd < 0 || devNull.fd < 0 || ::pipe(pipeFds) != 0) {
        throw TomcatError("cannot start the server's keeper: " + files.keeperLog().string() + ": " +
                          std::strerror(errno));
    }
    Descriptor readyRead(pipeFds[0]);
    Descriptor readyWrite(pipeFds[1]);
    ::fcntl(readyRead.fd, F_SETFD, FD_CLOEXEC);
    ::fcntl(readyWrite.fd, F_SETFD, FD_CLOEXEC);

    // Everything the child needs is made before fork().
    std::vector<std::string> args = {program.string(), "--keep-server", files.base().string(),
                                     "--webapp", webapp.string()};
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    const int fds[5] = {devNull.fd, log.fd, log.fd, aliveLock.fd(), readyWrite.fd};
    const long openMax = ::sysconf(_SC_OPEN_MAX);
    const int lastFd = static_cast<int>(std::clamp(openMax, 1024L, 65536L));
    const std::string execFailed = "tomcatrunner: cannot run " + program.string() + "\n";

    const pid_t child = ::fork();
    if (child < 0) {
        throw TomcatError(std::string("cannot start the server's keeper: ") + std::strerror(errno));
    }
    if (child == 0) {
        ::setsid();
        const pid_t keeper = ::fork();
        if (keeper == 0) {
            becomeKeeper(argv.data(), fds, lastFd, execFailed.data(), execFailed.size());
        }
        ::_exit(keeper < 0 ? 127 : 0);
    }
    while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
    // The keeper's copies are the ones that count now: the alive lock is its own.
    readyWrite.close();
    { const FileLock given = std::move(aliveLock); }

    std::string said;
    const auto deadline = Clock::now() + options.timeout;
    for (;;) {
        if (stop.stopped()) {
            throw TomcatError("interrupted while Tomcat starts; it goes on, and is kept for "
                              "the next run");
        }
        if (Clock::now() >= deadline) {
            KeptServer(files).stop();
            throw TomcatError("Tomcat's keeper said nothing within " +
                              std::to_string(options.timeout.count() / 1000) +
                              " s, and was stopped; its log: " + files.keeperLog().string());
        }
        pollfd p{readyRead.fd, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) {
            continue;
        }
        char buffer[4096];
        const ssize_t n = ::read(readyRead.fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        said.append(buffer, static_cast<std::size_t>(n));
        if (said == "ready\n") {
            break;
        }
    }
    if (said == "ready\n") {
        const std::optional<ServerState> state = ServerState::read(files.state());
        if (!state || !state->ready()) {
            throw TomcatError("Tomcat's keeper said it is ready, but " + files.state().string() +
                              " does not say where");
        }
        return *state;
    }
    if (said.starts_with("error: ")) {
        throw TomcatError(said.substr(7));
    }
    throw TomcatError("Tomcat's keeper ended before Tomcat started; the end of its log (" +
                      files.keeperLog().string() + "):\n" + lastLinesOf(files.keeperLog(), 10));
}

} // namespace tomcatrunner
