#include "javaprogram.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace jdwptest {

namespace {

// Owns the attributes and file actions of one posix_spawn call.
class SpawnSetup {
public:
    SpawnSetup() {
        posix_spawnattr_init(&attributes_);
        posix_spawn_file_actions_init(&actions_);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions_);
        posix_spawnattr_destroy(&attributes_);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    // A group of its own lets kill() reach whatever the child starts, and keeps a
    // terminal's signals meant for the test runner away from it.
    void ownProcessGroup() {
        posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes_, 0);
    }
    void inputFrom(int fd) { posix_spawn_file_actions_adddup2(&actions_, fd, STDIN_FILENO); }
    void outputTo(int fd) {
        posix_spawn_file_actions_adddup2(&actions_, fd, STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions_, fd, STDERR_FILENO);
    }

    const posix_spawnattr_t* attributes() const { return &attributes_; }
    const posix_spawn_file_actions_t* actions() const { return &actions_; }

private:
    posix_spawnattr_t attributes_;
    posix_spawn_file_actions_t actions_;
};

int exitStatusOf(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string readWholeFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + file.string());
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

constexpr std::string_view ListeningLine = "Listening for transport dt_socket at address: ";

// The port of the nth (0-based) complete "Listening for transport" line, if there is one.
std::optional<int> listeningPort(std::string_view output, int nth) {
    std::size_t at = 0;
    for (int seen = 0;; ++seen) {
        at = output.find(ListeningLine, at);
        if (at == std::string_view::npos)
            return std::nullopt;
        at += ListeningLine.size();
        const std::size_t end = output.find('\n', at);
        if (end == std::string_view::npos)
            return std::nullopt;
        if (seen == nth) {
            const std::string digits(output.substr(at, end - at));
            return std::stoi(digits);
        }
    }
}

const std::string& checkedTool(const std::string& tool) {
    requireJdkTool(tool);
    return tool;
}

std::vector<std::string> agentArguments(const CompiledJava& classes, const std::string& mainClass,
                                        const std::vector<std::string>& arguments) {
    // Never without the host: the agent would listen on every interface, and whoever
    // connects has the JVM in hand.
    const std::string agent =
        "-agentlib:jdwp=transport=dt_socket,server=y,suspend=y,address=127.0.0.1:0,timeout=" +
        std::to_string(AgentJvm::AttachWindow.count());
    // A crashing VM writes its report beside the classes, not into the tree the tests run in;
    // its summary goes to the output.
    const std::string errorFile =
        "-XX:ErrorFile=" + (classes.classPath() / "hs_err_pid%p.log").string();
    std::vector<std::string> all{agent, errorFile, "-cp", classes.classPath().string(), mainClass};
    all.insert(all.end(), arguments.begin(), arguments.end());
    return all;
}

} // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments) {
    // Close-on-exec: no other child may hold an end, or the pipes would not end with us.
    int input[2];
    int output[2];
    if (::pipe2(input, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("cannot make a pipe: ") + std::strerror(errno));
    if (::pipe2(output, O_CLOEXEC) != 0) {
        const int error = errno;
        ::close(input[0]);
        ::close(input[1]);
        throw std::runtime_error(std::string("cannot make a pipe: ") + std::strerror(error));
    }
    SpawnSetup setup;
    setup.ownProcessGroup();
    setup.inputFrom(input[0]);
    setup.outputTo(output[1]);

    std::vector<std::string> texts;
    texts.push_back(program);
    texts.insert(texts.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& text : texts)
        argv.push_back(text.data());
    argv.push_back(nullptr);

    const int error = ::posix_spawn(&pid_, program.c_str(), setup.actions(), setup.attributes(),
                                    argv.data(), environ);
    // The child's copies keep its ends open while it lives.
    ::close(input[0]);
    ::close(output[1]);
    if (error != 0) {
        ::close(input[1]);
        ::close(output[0]);
        throw std::runtime_error("cannot start " + program + ": " + std::strerror(error));
    }
    inputFd_ = input[1];
    outputFd_ = output[0];
    reader_ = std::thread([this] { collect(); });
}

ChildProcess::~ChildProcess() {
    {
        const std::lock_guard lock(mutex_);
        signalGroupLocked(SIGKILL);
    }
    reader_.join();
    ::close(outputFd_);
    ::close(inputFd_);
}

void ChildProcess::collect() {
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(outputFd_, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        const std::lock_guard lock(mutex_);
        output_.append(buffer, static_cast<std::size_t>(n));
        changed_.notify_all();
    }
    {
        const std::lock_guard lock(mutex_);
        outputEnded_ = true;
        changed_.notify_all();
    }
    // Wait for the exit without reaping, then reap under the lock: kill() checks under the
    // same lock, so it never signals a pid the system may already have given to another.
    siginfo_t info{};
    while (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOWAIT) != 0 &&
           errno == EINTR) {
    }
    int status = 0;
    const std::lock_guard lock(mutex_);
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    exitStatus_ = exitStatusOf(status);
    changed_.notify_all();
}

void ChildProcess::signalGroupLocked(int signal) {
    if (!exitStatus_)
        ::kill(-pid_, signal);
}

std::string ChildProcess::output() const {
    const std::lock_guard lock(mutex_);
    return output_;
}

bool ChildProcess::waitForOutput(const std::function<bool(std::string_view)>& done,
                                 Bound bound) const {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, bound, [&] { return done(output_) || outputEnded_; });
    return done(output_);
}

std::optional<int> ChildProcess::waitForExit(Bound bound) const {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, bound, [&] { return exitStatus_.has_value(); });
    return exitStatus_;
}

void ChildProcess::kill() {
    std::unique_lock lock(mutex_);
    signalGroupLocked(SIGKILL);
    // A killed process ends at once; the bound only guards against a kernel that is stuck.
    changed_.wait_for(lock, std::chrono::minutes(1), [&] { return exitStatus_.has_value(); });
}

void requireJdkTool(const std::string& tool) {
    if (tool.empty() || ::access(tool.c_str(), X_OK) != 0)
        throw std::runtime_error("the JDK's tool \"" + tool +
                                 "\" is missing: run scripts/install-deps, then configure again");
}

CompiledJava::CompiledJava(const std::string& javac, const std::filesystem::path& source) {
    requireJdkTool(javac);
    ChildProcess compiler(javac,
                          {"-g", "-encoding", "UTF-8", "-d", folder_.str(), source.string()});
    const std::optional<int> status = compiler.waitForExit(std::chrono::minutes(5));
    if (status != 0)
        throw std::runtime_error("javac could not compile " + source.string() + ":\n" +
                                 compiler.output());
}

AgentJvm::AgentJvm(const std::string& java, const CompiledJava& classes,
                   const std::string& mainClass, const std::vector<std::string>& arguments,
                   Bound bound)
    : process_(checkedTool(java), agentArguments(classes, mainClass, arguments)) {
    waitForNextPort(bound);
}

int AgentJvm::waitForNextPort(Bound bound) {
    const int nth = listenings_;
    std::optional<int> port;
    process_.waitForOutput(
        [&](std::string_view output) {
            port = listeningPort(output, nth);
            return port.has_value();
        },
        bound);
    if (!port)
        throw std::runtime_error("the JVM's JDWP agent did not say its port; its output:\n" +
                                 process_.output());
    ++listenings_;
    port_ = *port;
    return port_;
}

LineMarkers::LineMarkers(const std::filesystem::path& source) {
    constexpr std::string_view Marker = "// line:";
    const std::string text = readWholeFile(source);
    int number = 1;
    for (std::size_t start = 0; start < text.size(); ++number) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string_view line = std::string_view(text).substr(start, end - start);
        if (const std::size_t at = line.find(Marker); at != std::string_view::npos) {
            const std::string_view rest = line.substr(at + Marker.size());
            const std::size_t length = std::min(rest.find_first_of(" \t\r"), rest.size());
            lines_[std::string(rest.substr(0, length))] = number;
        }
        start = end + 1;
    }
}

int LineMarkers::line(const std::string& name) const {
    const auto found = lines_.find(name);
    if (found == lines_.end())
        throw std::out_of_range("no line is marked \"line:" + name + "\"");
    return found->second;
}

std::string LineMarkers::nameOf(int line) const {
    for (const auto& [name, number] : lines_)
        if (number == line)
            return name;
    return {};
}

} // namespace jdwptest
