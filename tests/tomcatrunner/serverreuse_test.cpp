// The Tomcat kept for a work folder, through the tomcatrunner program: a second run reuses
// it, --stop-server ends it, a keeper killed outright takes its JVM along, a stale or
// silent server is replaced, an idle one stops itself, two runs at once share one server,
// and a Tomcat that cannot start is exit code 7 and leaves nothing behind.
#include "scriptedmonitor.h"
#include "tomcatrunner/commandline.h"
#include "tomcatrunner/filelock.h"
#include "tomcatrunner/managedtomcat.h"
#include "tomcatrunner/serverstate.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <set>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace tomcatrunner;
using ::testing::HasSubstr;
using ::testing::Not;
using tomcattest::ScriptedMonitor;
using Clock = std::chrono::steady_clock;

// Failure bounds only: each wait ends as soon as its condition holds.
constexpr auto RunBound = 240s;
constexpr auto GoneBound = 60s;

std::string readFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// A loopback port bound and not listening while the object lives: connections to it are
// refused, and no other program, a server that other tests start meanwhile included, is
// given it.
class ReservedPort {
public:
    ReservedPort() : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            throw std::runtime_error("no loopback port to reserve");
        port_ = ntohs(address.sin_port);
    }
    ReservedPort(const ReservedPort&) = delete;
    ReservedPort& operator=(const ReservedPort&) = delete;
    ~ReservedPort() { ::close(fd_); }
    int port() const { return port_; }

private:
    int fd_;
    int port_ = 0;
};

void writeFile(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

// Whether a process has ended: it is gone, or a zombie that no one has reaped yet.
bool ended(pid_t pid) {
    if (pid <= 0 || ::kill(pid, 0) != 0) {
        return true;
    }
    const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    const auto close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] == 'Z';
}

bool awaitEnded(pid_t pid) {
    const auto deadline = Clock::now() + GoneBound;
    while (!ended(pid)) {
        if (Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

// Waits until a condition holds, bounded like the end of a process.
bool awaitTrue(const std::function<bool()>& condition) {
    const auto deadline = Clock::now() + GoneBound;
    while (!condition()) {
        if (Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

// One run of the tomcatrunner program, its output (both streams) read through a pipe to
// its end, as a caller of the program reads it: a server the run leaves must not keep
// the pipe open. Killed when it is still running as this object goes.
class ProgramRun {
public:
    explicit ProgramRun(const std::vector<std::string>& args,
                        const std::map<std::string, std::string>& env = {}) {
        std::vector<std::string> argStrings = {TOMCATRUNNER_PROGRAM};
        argStrings.insert(argStrings.end(), args.begin(), args.end());
        std::vector<std::string> envStrings;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry(*e);
            if (!env.contains(entry.substr(0, entry.find('=')))) {
                envStrings.push_back(entry);
            }
        }
        for (const auto& [name, value] : env) {
            if (!value.empty()) {
                envStrings.push_back(name + "=" + value);
            }
        }
        std::vector<char*> argv;
        std::vector<char*> envp;
        for (std::string& a : argStrings) {
            argv.push_back(a.data());
        }
        for (std::string& e : envStrings) {
            envp.push_back(e.data());
        }
        argv.push_back(nullptr);
        envp.push_back(nullptr);
        int out[2] = {-1, -1};
        if (::pipe(out) != 0) {
            throw std::runtime_error("cannot create a pipe");
        }
        const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        pid_ = ::fork();
        if (pid_ == 0) {
            // A process group of its own, as a terminal gives a command.
            ::setpgid(0, 0);
            ::dup2(in, STDIN_FILENO);
            ::dup2(out[1], STDOUT_FILENO);
            ::dup2(out[1], STDERR_FILENO);
            for (int fd = 3; fd < 1024; ++fd) {
                ::close(fd);
            }
            ::execve(argv[0], argv.data(), envp.data());
            ::_exit(127);
        }
        ::close(out[1]);
        ::close(in);
        outputFd_ = out[0];
    }
    ~ProgramRun() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (outputFd_ >= 0) {
            ::close(outputFd_);
        }
    }
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    // Reads the output to its end, then waits for the exit; the exit code, or -1 when
    // either did not come within the bound.
    int finish() {
        const auto deadline = Clock::now() + RunBound;
        while (outputFd_ >= 0) {
            if (Clock::now() >= deadline) {
                output_ += "\n(the output did not end within the bound)";
                return -1;
            }
            pump();
        }
        while (pid_ > 0) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            if (Clock::now() >= deadline) {
                return -1;
            }
            std::this_thread::sleep_for(20ms);
        }
        return -1;
    }
    const std::string& output() const { return output_; }
    // Reads until the output says the text (bounded); false when it does not.
    bool awaitOutput(const std::string& text) {
        const auto deadline = Clock::now() + RunBound;
        while (output_.find(text) == std::string::npos) {
            if (outputFd_ < 0 || Clock::now() >= deadline) {
                return false;
            }
            pump();
        }
        return true;
    }
    // Ctrl+C at a terminal: SIGINT to the whole process group.
    void interrupt() const { ::kill(-pid_, SIGINT); }

private:
    // Reads what has come, waiting a little for it; closes the pipe at its end.
    void pump() {
        pollfd p{outputFd_, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) {
            return;
        }
        char buffer[4096];
        const ssize_t n = ::read(outputFd_, buffer, sizeof buffer);
        if (n > 0) {
            output_.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            ::close(outputFd_);
            outputFd_ = -1;
        }
    }

    pid_t pid_ = -1;
    int outputFd_ = -1;
    std::string output_;
};

struct RunResult {
    int exitCode = -1;
    std::string output;
};

// A process that holds a file lock it inherited, as a keeper holds its base's alive lock,
// and does nothing else until it is signalled.
class LockHolder {
public:
    explicit LockHolder(const fs::path& lockFile) {
        std::optional<FileLock> lock = FileLock::tryLock(lockFile);
        if (!lock) {
            throw std::runtime_error("the lock is taken");
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            for (;;) {
                ::pause();
            }
        }
    }
    ~LockHolder() {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

    pid_t pid() const { return pid_; }
    // Whether it has ended, reaping it.
    bool ended() const {
        int status = 0;
        return ::waitpid(pid_, &status, WNOHANG) == pid_ || ::kill(pid_, 0) != 0;
    }

private:
    pid_t pid_ = -1;
};

class ServerReuseTest : public ::testing::Test {
protected:
    ServerReuseTest() {
        std::string pattern = (fs::temp_directory_path() / "tomcatrunner-reuse-XXXXXX").string();
        dir_ = ::mkdtemp(pattern.data());
        writeFile(app() / "hello.jsp", "<% int n = 6 * 7; %><p>n=<%= n %></p>\n");
    }
    // Stops the servers this test started, however it ended; kills what is left.
    ~ServerReuseTest() override {
        RunResult stopped = run({"--stop-server", "--work", work().string()});
        if (stopped.exitCode != 0) {
            ADD_FAILURE() << "--stop-server: " << stopped.output;
        }
        for (const pid_t pid : seen_) {
            if (!awaitEnded(pid)) {
                ADD_FAILURE() << "process " << pid << " outlived --stop-server";
                ::kill(pid, SIGKILL);
            }
        }
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    fs::path work() const { return dir_ / "work"; }
    fs::path app() const { return dir_ / "app"; }
    ServerFiles files() const { return ServerFiles(ServerFiles::baseFor(work())); }

    RunResult run(const std::vector<std::string>& args,
                  const std::map<std::string, std::string>& env = {}) {
        ProgramRun program(args, env);
        RunResult result;
        result.exitCode = program.finish();
        result.output = program.output();
        noteServer();
        return result;
    }

    // The arguments of a run of hello.jsp against the monitor, kept long enough for a test
    // and no longer, should even its cleanup fail.
    std::vector<std::string> pageRun(const ScriptedMonitor& monitor, const fs::path& page,
                                     const std::string& idleSeconds = "300") {
        return {"--port",         std::to_string(monitor.port()),
                "--work",         work().string(),
                "--idle-seconds", idleSeconds,
                page.string()};
    }

    // The state file, whose processes the cleanup then looks after.
    std::optional<ServerState> state() {
        const std::optional<ServerState> s = ServerState::read(files().state());
        if (s) {
            seen_.insert(s->keeper);
            if (s->jvm > 0) {
                seen_.insert(s->jvm);
            }
        }
        return s;
    }
    void noteServer() { (void)state(); }

    // The page ran to its end, its output shown.
    static void expectPageRan(const ScriptedMonitor& monitor) {
        const std::vector<std::string> records = monitor.recordsOf(0);
        ASSERT_FALSE(records.empty());
        EXPECT_EQ(records.back(), "%E");
        EXPECT_THAT(monitor.html(), HasSubstr("<p>n=42</p>"));
    }

    fs::path dir_;
    std::set<pid_t> seen_;
};

TEST_F(ServerReuseTest, ASecondRunReusesTheServerAndStopServerEndsIt) {
    ScriptedMonitor firstMonitor;
    const RunResult first = run(pageRun(firstMonitor, app() / "hello.jsp"));
    ASSERT_EQ(first.exitCode, 0) << first.output;
    EXPECT_THAT(first.output, HasSubstr("starting Tomcat"));
    expectPageRan(firstMonitor);
    const std::optional<ServerState> started = state();
    ASSERT_TRUE(started && started->ready()) << readFile(files().state());
    EXPECT_EQ(started->webapp, app());
    EXPECT_FALSE(ended(started->keeper));
    EXPECT_FALSE(ended(started->jvm));

    ScriptedMonitor secondMonitor;
    const RunResult second = run(pageRun(secondMonitor, app() / "hello.jsp"));
    ASSERT_EQ(second.exitCode, 0) << second.output;
    EXPECT_THAT(second.output, HasSubstr("reusing Tomcat"));
    EXPECT_THAT(second.output, Not(HasSubstr("starting Tomcat")));
    expectPageRan(secondMonitor);
    EXPECT_EQ(state(), started);

    const RunResult stopped = run({"--stop-server", "--work", work().string()});
    EXPECT_EQ(stopped.exitCode, 0) << stopped.output;
    EXPECT_THAT(stopped.output, HasSubstr("stopped the Tomcat"));
    EXPECT_TRUE(awaitEnded(started->keeper));
    EXPECT_TRUE(awaitEnded(started->jvm));
    EXPECT_FALSE(fs::exists(files().state()));
    const std::string keeperLog = readFile(files().keeperLog());
    EXPECT_THAT(keeperLog, HasSubstr("asked to stop"));
    EXPECT_THAT(keeperLog, Not(HasSubstr("Sanitizer")));

    const RunResult again = run({"--stop-server", "--work", work().string()});
    EXPECT_EQ(again.exitCode, 0) << again.output;
    EXPECT_THAT(again.output, HasSubstr("no Tomcat runs"));
}

TEST_F(ServerReuseTest, AServerForAnotherWebappIsReplaced) {
    writeFile(dir_ / "other" / "hello.jsp", "<p>n=<%= 40 + 2 %></p>\n");
    ScriptedMonitor firstMonitor;
    const RunResult first = run(pageRun(firstMonitor, app() / "hello.jsp"));
    ASSERT_EQ(first.exitCode, 0) << first.output;
    const std::optional<ServerState> before = state();
    ASSERT_TRUE(before && before->ready());

    ScriptedMonitor secondMonitor;
    const RunResult second = run(pageRun(secondMonitor, dir_ / "other" / "hello.jsp"));
    ASSERT_EQ(second.exitCode, 0) << second.output;
    EXPECT_THAT(second.output, HasSubstr("serves " + app().string()));
    EXPECT_THAT(second.output, HasSubstr("starting Tomcat"));
    expectPageRan(secondMonitor);
    EXPECT_TRUE(awaitEnded(before->keeper));
    EXPECT_TRUE(awaitEnded(before->jvm));
    const std::optional<ServerState> after = state();
    ASSERT_TRUE(after && after->ready());
    EXPECT_EQ(after->webapp, dir_ / "other");
    EXPECT_NE(after->jvm, before->jvm);
}

TEST_F(ServerReuseTest, AKeeperKilledOutrightTakesItsJvmAndTheNextRunReplacesItsState) {
    ScriptedMonitor firstMonitor;
    const RunResult first = run(pageRun(firstMonitor, app() / "hello.jsp"));
    ASSERT_EQ(first.exitCode, 0) << first.output;
    const std::optional<ServerState> killed = state();
    ASSERT_TRUE(killed && killed->ready());

    ASSERT_EQ(::kill(killed->keeper, SIGKILL), 0);
    EXPECT_TRUE(awaitEnded(killed->keeper));
    EXPECT_TRUE(awaitEnded(killed->jvm)) << "the JVM " << killed->jvm << " outlived its keeper";
    // The keeper could not clean up: its state file is left, naming the dead.
    EXPECT_EQ(ServerState::read(files().state()), killed);

    ScriptedMonitor secondMonitor;
    const RunResult second = run(pageRun(secondMonitor, app() / "hello.jsp"));
    ASSERT_EQ(second.exitCode, 0) << second.output;
    EXPECT_THAT(second.output, HasSubstr("starting Tomcat"));
    expectPageRan(secondMonitor);
    const std::optional<ServerState> replaced = state();
    ASSERT_TRUE(replaced && replaced->ready());
    EXPECT_NE(replaced->keeper, killed->keeper);
    EXPECT_NE(replaced->jvm, killed->jvm);
}

TEST_F(ServerReuseTest, CtrlCEndsTheRunButNotTheServerKeptForTheNext) {
    ScriptedMonitor firstMonitor;
    ProgramRun first(pageRun(firstMonitor, app() / "hello.jsp"));
    ASSERT_TRUE(first.awaitOutput("starting Tomcat")) << first.output();
    first.interrupt();
    EXPECT_EQ(first.finish(), ExitCode::Stopped) << first.output();
    EXPECT_THAT(first.output(), HasSubstr("interrupted"));

    // The keeper, in a session of its own, goes on and serves the next run.
    const auto deadline = Clock::now() + RunBound;
    std::optional<ServerState> kept = state();
    while (!(kept && kept->ready()) && FileLock::isHeld(files().aliveLock()) &&
           Clock::now() < deadline) {
        std::this_thread::sleep_for(20ms);
        kept = state();
    }
    ASSERT_TRUE(kept && kept->ready()) << readFile(files().keeperLog());
    ScriptedMonitor secondMonitor;
    const RunResult second = run(pageRun(secondMonitor, app() / "hello.jsp"));
    ASSERT_EQ(second.exitCode, 0) << second.output;
    EXPECT_THAT(second.output, HasSubstr("reusing Tomcat"));
    expectPageRan(secondMonitor);
    EXPECT_EQ(state(), kept);
}

TEST_F(ServerReuseTest, RemovingTheWorkFolderStopsItsServer) {
    ScriptedMonitor monitor;
    const RunResult result = run(pageRun(monitor, app() / "hello.jsp"));
    ASSERT_EQ(result.exitCode, 0) << result.output;
    const std::optional<ServerState> orphaned = state();
    ASSERT_TRUE(orphaned && orphaned->ready());

    fs::remove_all(work());
    EXPECT_TRUE(awaitEnded(orphaned->keeper));
    EXPECT_TRUE(awaitEnded(orphaned->jvm));
}

TEST_F(ServerReuseTest, ALiveServerThatDoesNotAnswerIsStoppedAndReplaced) {
    // A "keeper" that holds the base's alive lock but serves nothing on the ports named.
    fs::create_directories(files().base());
    LockHolder silent(files().aliveLock());
    ServerState named;
    named.keeper = silent.pid();
    named.jvm = silent.pid();
    const ReservedPort http;
    const ReservedPort jdwp;
    named.httpPort = http.port();
    named.jdwpPort = jdwp.port();
    named.webapp = app();
    named.write(files().state());

    ScriptedMonitor monitor;
    const RunResult result = run(pageRun(monitor, app() / "hello.jsp"));
    ASSERT_EQ(result.exitCode, 0) << result.output;
    EXPECT_THAT(result.output, HasSubstr("does not answer HTTP"));
    EXPECT_THAT(result.output, HasSubstr("starting Tomcat"));
    expectPageRan(monitor);
    EXPECT_TRUE(silent.ended());
    const std::optional<ServerState> replaced = state();
    ASSERT_TRUE(replaced && replaced->ready());
    EXPECT_NE(replaced->keeper, silent.pid());
}

TEST_F(ServerReuseTest, AServerNoRunUsesStopsItself) {
    ScriptedMonitor monitor;
    const RunResult result = run(pageRun(monitor, app() / "hello.jsp", "1"));
    ASSERT_EQ(result.exitCode, 0) << result.output;
    const std::optional<ServerState> idle = state();
    ASSERT_TRUE(idle && idle->ready());

    EXPECT_TRUE(awaitEnded(idle->keeper));
    EXPECT_TRUE(awaitEnded(idle->jvm));
    EXPECT_FALSE(fs::exists(files().state()));
    EXPECT_THAT(readFile(files().keeperLog()), HasSubstr("no run has used it"));
}

TEST_F(ServerReuseTest, TwoRunsAtOnceShareOneServer) {
    ScriptedMonitor firstMonitor;
    ScriptedMonitor secondMonitor;
    ProgramRun first(pageRun(firstMonitor, app() / "hello.jsp"));
    ProgramRun second(pageRun(secondMonitor, app() / "hello.jsp"));
    ASSERT_EQ(first.finish(), 0) << first.output();
    ASSERT_EQ(second.finish(), 0) << second.output();
    noteServer();
    expectPageRan(firstMonitor);
    expectPageRan(secondMonitor);
    const std::string outputs = first.output() + second.output();
    std::size_t starts = 0;
    for (auto at = outputs.find("starting Tomcat"); at != std::string::npos;
         at = outputs.find("starting Tomcat", at + 1)) {
        ++starts;
    }
    EXPECT_EQ(starts, 1u) << outputs;
    EXPECT_THAT(outputs, HasSubstr("reusing Tomcat"));
}

TEST_F(ServerReuseTest, ATomcatThatCannotStartIsExitCode7AndLeavesNothing) {
    ScriptedMonitor monitor;
    const RunResult result = run(pageRun(monitor, app() / "hello.jsp"),
                                 {{"JAVA_HOME", "/nonexistent-java"}, {"JRE_HOME", ""}});
    EXPECT_EQ(result.exitCode, ExitCode::TomcatFailed) << result.output;
    EXPECT_THAT(result.output, HasSubstr("Tomcat ended while starting"));
    EXPECT_THAT(result.output, HasSubstr("JAVA_HOME"));
    // The keeper that failed may still be on its way out when the run has reported it.
    EXPECT_TRUE(awaitTrue([&] { return !FileLock::isHeld(files().aliveLock()); }));
    EXPECT_TRUE(awaitTrue([&] { return !fs::exists(files().state()); }));
    EXPECT_TRUE(monitor.records().empty());
}

TEST_F(ServerReuseTest, TheKeeperModeIsNotForHands) {
    fs::create_directories(files().base());
    const RunResult result =
        run({"--keep-server", files().base().string(), "--webapp", app().string()});
    EXPECT_EQ(result.exitCode, ExitCode::UsageError) << result.output;
    EXPECT_THAT(result.output, HasSubstr("started by a run"));
    EXPECT_FALSE(fs::exists(files().state()));
}

TEST(ServerCommandLine, AllLetsRequestsFromElsewhereWaitForTheirTurn) {
    const CommandLine cl =
        CommandLine::parse({"--attach", "127.0.0.1:8000", "--all", "--port", "9000"});
    ASSERT_TRUE(cl.attach);
    EXPECT_TRUE(cl.attach->all);
    EXPECT_EQ(cl.port, 9000);
    EXPECT_FALSE(CommandLine::parse({"--attach", "127.0.0.1:8000"}).attach->all);
}

TEST(ServerCommandLine, EveryParameterValueReachesTheRequestInItsOrder) {
    const CommandLine cl = CommandLine::parse(
        {"--param", "fruit=melons", "--param=fruit=grapes", "--param", "q=a b&c", "p.jsp"});
    const std::vector<std::pair<std::string, std::string>> expected{
        {"fruit", "melons"}, {"fruit", "grapes"}, {"q", "a b&c"}};
    EXPECT_EQ(cl.params, expected);
    EXPECT_EQ(requestTarget("dir/p ä.jsp", cl.params),
              "/dir/p%20%C3%A4.jsp?fruit=melons&fruit=grapes&q=a%20b%26c");
    EXPECT_EQ(requestTarget("p.jsp", {}), "/p.jsp");
}

TEST(ServerCommandLine, ReadsTheServerOptions) {
    const CommandLine stop = CommandLine::parse({"--stop-server", "--work", "/w"});
    EXPECT_EQ(stop.mode, CommandLine::Mode::StopServer);
    EXPECT_EQ(stop.workDir, "/w");
    EXPECT_EQ(CommandLine::parse({"--work=/v", "--stop-server"}).workDir, "/v");
    EXPECT_TRUE(CommandLine::parse({"--stop-server"}).workDir.empty());

    const CommandLine run = CommandLine::parse({"--idle-minutes", "5", "p.jsp"});
    EXPECT_EQ(run.mode, CommandLine::Mode::Run);
    EXPECT_EQ(run.idle, std::chrono::minutes(5));
    EXPECT_EQ(CommandLine::parse({"p.jsp"}).idle, std::chrono::minutes(30));
    EXPECT_EQ(CommandLine::parse({"--idle-seconds=2", "p.jsp"}).idle, std::chrono::seconds(2));
    // A value that looks like an option is still a value.
    EXPECT_EQ(CommandLine::parse({"--work", "--stop-server", "p.jsp"}).workDir, "--stop-server");

    const CommandLine keep = CommandLine::parse({"--keep-server", "/b", "--webapp", "/a"});
    EXPECT_EQ(keep.mode, CommandLine::Mode::KeepServer);
    EXPECT_EQ(keep.keepBase, "/b");
    EXPECT_EQ(keep.webapp, "/a");

    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"--stop-server", "p.jsp"},
             {"--stop-server", "--port", "9"},
             {"--stop-server=yes"},
             {"--idle-minutes", "0", "p.jsp"},
             {"--idle-minutes", "x", "p.jsp"},
             {"--idle-minutes", "99999999", "p.jsp"},
             {"--idle-minutes"},
             {"--keep-server", "/b"},
             {"--keep-server", "/b", "--webapp", "/a", "p.jsp"},
             {"--all", "p.jsp"},
             {"--attach", "127.0.0.1:8000", "--all=yes"},
             {"--attach", "127.0.0.1:8000", "--all", "--url", "http://127.0.0.1:8080/a.jsp"}}) {
        EXPECT_THROW(CommandLine::parse(bad), std::invalid_argument) << bad.front();
    }

    const std::string usage = CommandLine::usage();
    EXPECT_THAT(usage, HasSubstr("--stop-server"));
    EXPECT_THAT(usage, HasSubstr("--idle-minutes N"));
    EXPECT_THAT(usage, Not(HasSubstr("--keep-server")));
    EXPECT_THAT(usage, Not(HasSubstr("--idle-seconds")));
}

TEST(ServerStateFile, KeepsEveryFieldAndReadsBadTextAsUnknown) {
    ServerState state;
    state.keeper = 10;
    state.jvm = 11;
    state.httpPort = 8080;
    state.jdwpPort = 8000;
    state.webapp = "/odd\n%0A dir=x\r";
    EXPECT_TRUE(state.ready());
    EXPECT_EQ(ServerState::parse(state.format()), state);

    ServerState starting;
    starting.keeper = 12;
    const auto readStarting = ServerState::parse(starting.format());
    ASSERT_TRUE(readStarting);
    EXPECT_FALSE(readStarting->ready());

    EXPECT_FALSE(ServerState::parse(""));
    EXPECT_FALSE(ServerState::parse("jvm=3\nhttp=80\n"));
    EXPECT_FALSE(ServerState::parse("keeper=-4\n"));
    EXPECT_FALSE(ServerState::parse("keeper=99999999999999999999\n"));
    const auto garbled = ServerState::parse("keeper=7\njvm=x\nhttp=70000\njdwp=8\nwebapp=%zz\n");
    ASSERT_TRUE(garbled);
    EXPECT_EQ(garbled->jvm, 0);
    EXPECT_EQ(garbled->httpPort, 0);
    EXPECT_EQ(garbled->jdwpPort, 8);
    EXPECT_TRUE(garbled->webapp.empty());
    EXPECT_FALSE(garbled->ready());
    EXPECT_FALSE(ServerState::read("/nonexistent/server.state"));
}

TEST(ServerStateFile, AUseMarkKeepsTheIdleTimeAsked) {
    std::string pattern = (fs::temp_directory_path() / "tomcatrunner-mark-XXXXXX").string();
    const fs::path dir = ::mkdtemp(pattern.data());
    const fs::path file = dir / "server.used";
    EXPECT_FALSE(UseMark::read(file));
    EXPECT_EQ(UseMark::write(file, std::chrono::seconds(90)), "");
    const auto mark = UseMark::read(file);
    ASSERT_TRUE(mark);
    EXPECT_EQ(mark->idle, std::chrono::seconds(90));
    EXPECT_EQ(mark->lastUse, fs::last_write_time(file));
    writeFile(file, "idle-seconds=soon\n");
    const auto garbled = UseMark::read(file);
    ASSERT_TRUE(garbled);
    EXPECT_EQ(garbled->idle, UseMark::DefaultIdle);
    fs::remove_all(dir);
}

} // namespace
