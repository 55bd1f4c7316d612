#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <sys/types.h>

namespace tomcatrunner {

// Tomcat could not be started, or it died.
class TomcatError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct ManagedTomcatOptions {
    std::filesystem::path catalinaHome = "/usr/share/tomcat10";
    std::filesystem::path base;   // CATALINA_BASE; prepared by start()
    std::filesystem::path webapp; // served at the root path
    // The debugger agent's port; 0 lets the agent pick one. The agent listens anew after
    // each debugger leaves, on a new port when it picks: a server kept for several
    // debuggers needs a port of its own.
    int jdwpPort = 0;
    std::chrono::milliseconds startTimeout{90'000};
};

// A private Tomcat run by this process: its JVM listens for HTTP and for a debugger on
// loopback ports of its own, logs to logs/catalina.out below its base, and is stopped when
// this object goes, or when this process dies (the JVM is told to follow it).
class ManagedTomcat {
public:
    // Prepares the base, starts the JVM and waits until both HTTP and the debugger's
    // port answer. Throws TomcatError with the reason and the end of the log.
    static std::unique_ptr<ManagedTomcat> start(const ManagedTomcatOptions& options);
    ~ManagedTomcat();
    ManagedTomcat(const ManagedTomcat&) = delete;
    ManagedTomcat& operator=(const ManagedTomcat&) = delete;

    int httpPort() const { return httpPort_; }
    int jdwpPort() const { return jdwpPort_; }
    pid_t pid() const { return pid_; }
    const std::filesystem::path& log() const { return log_; }
    // Whether the JVM still runs.
    bool running();
    // Asks the JVM to end (SIGTERM), then kills it if it has not ended within the grace
    // time, and reaps it.
    void stop(std::chrono::milliseconds grace = std::chrono::milliseconds{10'000});
    // The last lines of the log, for messages.
    std::string logTail(std::size_t lines = 20) const;

private:
    ManagedTomcat(pid_t pid, std::filesystem::path log, int httpPort);
    void awaitReady(std::chrono::milliseconds timeout);

    pid_t pid_ = -1;
    std::filesystem::path log_;
    int httpPort_ = 0;
    int jdwpPort_ = 0;
};

// The last lines of a log file, for a message; empty when it cannot be read.
std::string lastLinesOf(const std::filesystem::path& file, std::size_t lines);

// A TCP port on 127.0.0.1 that nothing listens on right now.
int freeLoopbackPort();

} // namespace tomcatrunner
