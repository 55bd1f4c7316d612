#pragma once

// Java programs for tests and benchmarks that debug a real JVM: compiling one, starting it
// under the JDWP agent, and finding the lines its source marks. Standard C++ and POSIX only.

#include "support/tempdir.h"

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace jdwptest {

using Bound = std::chrono::milliseconds;

// A child process in a process group of its own, its standard output and error collected
// into one text by a reader thread, so that the child never blocks on a full pipe and a
// failing test can print what it said. It is killed with its group (SIGKILL) and reaped
// when the object goes. Its standard input is a pipe that nothing is written to: it ends
// when the object goes or this process dies, however it dies, so that a child can watch
// it to end itself. Safe to use from several threads.
class ChildProcess {
public:
    // Starts program (a path, no shell) with the arguments. Throws std::runtime_error when
    // it cannot be started.
    ChildProcess(const std::string& program, const std::vector<std::string>& arguments);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    // What the child wrote so far, both streams in the order they arrived.
    std::string output() const;
    // Waits until done(output) holds; false when the output ended (the child exited) or
    // the bound passed first.
    bool waitForOutput(const std::function<bool(std::string_view)>& done, Bound bound) const;
    // The exit status (128 + the signal's number when a signal ended it) once the child
    // has exited; nullopt when it still runs after the bound.
    std::optional<int> waitForExit(Bound bound) const;
    // Kills the child and its group and returns once it has been reaped.
    void kill();

private:
    void collect();
    void signalGroupLocked(int signal);

    pid_t pid_ = -1;
    int inputFd_ = -1;
    int outputFd_ = -1;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::string output_;
    bool outputEnded_ = false;
    std::optional<int> exitStatus_; // set when reaped: from then on the pid is not ours
    std::thread reader_;
};

// Throws std::runtime_error, naming scripts/install-deps, when tool is not an executable
// file (CMake leaves "NAME-NOTFOUND" for a program it did not find).
void requireJdkTool(const std::string& tool);

// The classes of one Java source file, compiled with debug information (javac -g) into a
// temporary folder that goes with the object.
class CompiledJava {
public:
    // Throws std::runtime_error with javac's output when the compilation fails.
    CompiledJava(const std::string& javac, const std::filesystem::path& source);

    const std::filesystem::path& classPath() const { return folder_.path(); }

private:
    testsupport::TempDir folder_;
};

// A JVM running a main class under the JDWP agent, suspended at its start (suspend=y),
// listening on 127.0.0.1 at a port the system chose. Should this process die without
// killing it, the agent ends the VM when no debugger attaches within AttachWindow.
class AgentJvm {
public:
    static constexpr Bound AttachWindow = std::chrono::minutes(2);

    // Starts the JVM and waits, up to the bound, for the agent to say its port. Throws
    // std::runtime_error with the JVM's output when it does not.
    AgentJvm(const std::string& java, const CompiledJava& classes, const std::string& mainClass,
             const std::vector<std::string>& arguments, Bound bound);

    // The port the agent listens at, or listened at for the debugger now attached.
    int port() const { return port_; }
    // After a debugger detaches, the agent listens again at a new port: waits for it.
    int waitForNextPort(Bound bound);

    ChildProcess& process() { return process_; }
    const ChildProcess& process() const { return process_; }

private:
    ChildProcess process_;
    int listenings_ = 0; // "Listening for transport" lines taken so far
    int port_ = 0;
};

// The lines of a source file that carry a marker comment ("// line:loop-body"), so that
// tests name lines instead of hard-coding their numbers.
class LineMarkers {
public:
    // Throws std::runtime_error when the file cannot be read.
    explicit LineMarkers(const std::filesystem::path& source);

    // The 1-based number of the marked line; throws std::out_of_range for an unknown name.
    int line(const std::string& name) const;
    // The marker's name of a line, or "" for a line without one.
    std::string nameOf(int line) const;

private:
    std::map<std::string, int> lines_;
};

} // namespace jdwptest
