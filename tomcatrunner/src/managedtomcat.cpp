#include "tomcatrunner/managedtomcat.h"

#include "tomcatrunner/httpexchange.h"
#include "tomcatrunner/tomcatbase.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace tomcatrunner {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::string_view ListeningLine = "Listening for transport dt_socket at address: ";

// The environment of the JVM: ours, with Tomcat's folders and the debugger agent on a
// loopback port (it says which on its first line of output). Jasper's messages are read
// back from its error pages, so they are asked for in English whatever the user's locale.
std::vector<std::string> tomcatEnvironment(const ManagedTomcatOptions& o) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string_view entry(*e);
        if (entry.starts_with("CATALINA_") || entry.starts_with("JAVA_OPTS=") ||
            entry.starts_with("JPDA_") || entry.starts_with("CATALINA_OPTS=")) {
            continue;
        }
        env.emplace_back(entry);
    }
    env.push_back("CATALINA_HOME=" + o.catalinaHome.string());
    env.push_back("CATALINA_BASE=" + o.base.string());
    env.push_back("CATALINA_TMPDIR=" + (o.base / "temp").string());
    env.push_back("JAVA_OPTS=-agentlib:jdwp=transport=dt_socket,server=y,suspend=n,"
                  "address=127.0.0.1:" +
                  std::to_string(o.jdwpPort) +
                  " -Djava.awt.headless=true -Duser.language=en -Duser.country=US");
    return env;
}

std::string readAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

int freeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        throw TomcatError(std::string("cannot create a socket: ") + std::strerror(errno));
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        const std::string why = std::strerror(errno);
        ::close(fd);
        throw TomcatError("cannot find a free port: " + why);
    }
    ::close(fd);
    return ntohs(address.sin_port);
}

std::unique_ptr<ManagedTomcat> ManagedTomcat::start(const ManagedTomcatOptions& options) {
    const fs::path catalina = options.catalinaHome / "bin" / "catalina.sh";
    if (!fs::exists(catalina)) {
        throw TomcatError("Tomcat is not installed: " + catalina.string() +
                          " is missing (scripts/install-deps installs it)");
    }
    const int httpPort = freeLoopbackPort();
    try {
        TomcatBase::prepare(options.base, options.catalinaHome, httpPort, options.webapp);
    } catch (const std::exception& e) {
        throw TomcatError(std::string("cannot prepare Tomcat's folder: ") + e.what());
    }
    const fs::path log = options.base / "logs" / "catalina.out";
    const int logFd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (logFd < 0) {
        throw TomcatError("cannot write " + log.string() + ": " + std::strerror(errno));
    }
    const auto envStrings = tomcatEnvironment(options);
    std::vector<char*> env;
    for (const auto& e : envStrings) {
        env.push_back(const_cast<char*>(e.c_str()));
    }
    env.push_back(nullptr);
    const std::string script = catalina.string();
    char* argv[] = {const_cast<char*>(script.c_str()), const_cast<char*>("run"), nullptr};
    const pid_t parent = ::getpid();

    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(logFd);
        throw TomcatError(std::string("cannot start Tomcat: ") + std::strerror(errno));
    }
    if (pid == 0) {
        // The JVM (catalina.sh execs java) ends when this process does, whatever the
        // reason, and a terminal's Ctrl+C reaches it only through this process.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) {
            ::_exit(127);
        }
        ::setpgid(0, 0);
        ::dup2(logFd, STDOUT_FILENO);
        ::dup2(logFd, STDERR_FILENO);
        const int devNull = ::open("/dev/null", O_RDONLY);
        if (devNull >= 0) {
            ::dup2(devNull, STDIN_FILENO);
        }
        ::chdir(options.base.c_str());
        ::execve(argv[0], argv, env.data());
        ::_exit(127);
    }
    ::close(logFd);
    std::unique_ptr<ManagedTomcat> tomcat(new ManagedTomcat(pid, log, httpPort));
    tomcat->awaitReady(options.startTimeout);
    return tomcat;
}

ManagedTomcat::ManagedTomcat(pid_t pid, fs::path log, int httpPort)
    : pid_(pid), log_(std::move(log)), httpPort_(httpPort) {}

ManagedTomcat::~ManagedTomcat() {
    stop();
}

bool ManagedTomcat::running() {
    if (pid_ <= 0) {
        return false;
    }
    int status = 0;
    const pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
        pid_ = -1;
        return false;
    }
    return true;
}

void ManagedTomcat::stop(std::chrono::milliseconds grace) {
    if (pid_ <= 0) {
        return;
    }
    ::kill(pid_, SIGTERM);
    const auto deadline = Clock::now() + grace;
    while (Clock::now() < deadline) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
}

std::string ManagedTomcat::logTail(std::size_t lines) const {
    return lastLinesOf(log_, lines);
}

std::string lastLinesOf(const fs::path& file, std::size_t lines) {
    const std::string text = readAll(file);
    std::size_t pos = text.size();
    for (std::size_t n = 0; n <= lines && pos > 0; ++n) {
        const auto nl = text.rfind('\n', pos - 1);
        if (nl == std::string::npos) {
            return text;
        }
        pos = nl;
    }
    return text.substr(pos + 1);
}

void ManagedTomcat::awaitReady(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    const auto fail = [this](const std::string& why) {
        const std::string tail = logTail();
        stop();
        throw TomcatError(why + (tail.empty() ? "" : "\n" + tail));
    };
    // The agent's first line names its port; then Tomcat answers HTTP once it has started.
    while (jdwpPort_ == 0) {
        if (!running()) {
            fail("Tomcat ended while starting");
        }
        const std::string text = readAll(log_);
        if (const auto at = text.find(ListeningLine); at != std::string::npos) {
            const auto end = text.find('\n', at);
            if (end != std::string::npos) {
                jdwpPort_ = std::atoi(text.c_str() + at + ListeningLine.size());
                if (jdwpPort_ <= 0) {
                    fail("Tomcat's debugger agent named no port");
                }
                break;
            }
        }
        if (Clock::now() >= deadline) {
            fail("Tomcat's debugger agent did not start within " +
                 std::to_string(timeout.count()) + " ms");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    for (;;) {
        if (!running()) {
            fail("Tomcat ended while starting");
        }
        try {
            HttpExchange probe("127.0.0.1", httpPort_, "/", std::chrono::milliseconds(1000));
            probe.finish(std::chrono::milliseconds(5000));
            return;
        } catch (const HttpError&) {
        }
        if (Clock::now() >= deadline) {
            fail("Tomcat did not answer HTTP on 127.0.0.1:" + std::to_string(httpPort_) +
                 " within " + std::to_string(timeout.count()) + " ms");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

} // namespace tomcatrunner
