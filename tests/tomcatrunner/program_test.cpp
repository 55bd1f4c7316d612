// The tomcatrunner program as a user runs it: its command line, its exit codes, a page
// debugged end to end, and the faults: no agent, not an agent, a server that dies mid-page.
#include "scriptedmonitor.h"
#include "support/refusingport.h"
#include "tempdir.h"
#include "tracewin/version.h"

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using ::testing::HasSubstr;
using tomcattest::ScriptedMonitor;

struct TempDir : tomcattest::TempDir {
    TempDir() : tomcattest::TempDir("tomcatrunner-prog") {}
};

std::string readFile(const fs::path& file) {
    std::ifstream in(file);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

// One run of the program, its output in files; killed if it outlives the bound.
struct ProgramRun {
    int code = -1;
    std::string out;
    std::string err;
};

ProgramRun runProgram(const std::vector<std::string>& args, const fs::path& dir,
                      std::chrono::seconds bound = 180s) {
    std::vector<std::string> all{TOMCATRUNNER_EXE};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    const fs::path out = dir / "out.txt";
    const fs::path err = dir / "err.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ProgramRun run;
    if (rc != 0) {
        run.err = "cannot start the program";
        return run;
    }
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, &status, 0);
            run.err = "the program did not end";
            return run;
        }
        std::this_thread::sleep_for(20ms);
    }
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = readFile(out);
    run.err = readFile(err);
    return run;
}

// A loopback listener that accepts and answers each connection with fixed bytes.
class Impostor {
public:
    explicit Impostor(std::string answer) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd_, 4);
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this, answer = std::move(answer)] {
            const int c = ::accept(fd_, nullptr, nullptr);
            if (c >= 0) {
                char buffer[64];
                (void)!::recv(c, buffer, sizeof buffer, 0);
                (void)!::send(c, answer.data(), answer.size(), MSG_NOSIGNAL);
                ::close(c);
            }
        });
    }
    ~Impostor() {
        ::shutdown(fd_, SHUT_RDWR);
        thread_.join();
        ::close(fd_);
    }
    int port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
    std::thread thread_;
};

// The pid of the JVM that runs a Tomcat whose base is below `dir`, or 0.
pid_t tomcatBelow(const fs::path& dir) {
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        std::string cmdline = readFile(entry.path() / "cmdline");
        std::replace(cmdline.begin(), cmdline.end(), '\0', ' ');
        if (cmdline.find("-Dcatalina.base=" + dir.string()) != std::string::npos) {
            return static_cast<pid_t>(std::stoi(name));
        }
    }
    return 0;
}

TEST(TomcatRunnerProgram, CommandLineMistakesAreUsageErrors) {
    TempDir dir;
    EXPECT_EQ(runProgram({"--help"}, dir.path).code, 0);
    const ProgramRun version = runProgram({"--version"}, dir.path);
    EXPECT_EQ(version.code, 0) << version.err;
    EXPECT_EQ(version.out, tracewin::versionLine("tomcatrunner") + "\n");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{},
          {"--url", "http://127.0.0.1:1/a.jsp", "x.jsp"},
          {"--attach", "nohost"},
          {"--attach", "127.0.0.1:99999"},
          {"--attach", "127.0.0.1:8000", "--url", "ftp://x/y"},
          {"--attach", "127.0.0.1:8000", "page.jsp"},
          {"--translate", "x.jsp"},
          {"--all-variables=yes", "x.jsp"}}) {
        const ProgramRun run = runProgram(args, dir.path);
        EXPECT_EQ(run.code, 1) << ::testing::PrintToString(args) << run.err;
        EXPECT_THAT(run.err, HasSubstr("tomcatrunner --help"));
    }
    const ProgramRun missing = runProgram({(dir.path / "missing.jsp").string()}, dir.path);
    EXPECT_EQ(missing.code, 2) << missing.err;
}

TEST(TomcatRunnerProgram, AttachingToWhatIsNotAnAgentExitsSeven) {
    TempDir dir;
    const testsupport::RefusingPort refusing;
    const ProgramRun nothing =
        runProgram({"--attach", "127.0.0.1:" + std::to_string(refusing.port())}, dir.path);
    EXPECT_EQ(nothing.code, 7);
    EXPECT_THAT(nothing.err, HasSubstr("cannot attach"));

    Impostor web("HTTP/1.1 400 Bad Request\r\n\r\n");
    const ProgramRun http =
        runProgram({"--attach", "127.0.0.1:" + std::to_string(web.port())}, dir.path);
    EXPECT_EQ(http.code, 7);
    EXPECT_THAT(http.err, HasSubstr("not a JDWP agent"));
}

TEST(TomcatRunnerProgram, RunsAPageToItsEndAgainstTheMonitor) {
    TempDir dir;
    ScriptedMonitor monitor;
    const ProgramRun run =
        runProgram({"--port", std::to_string(monitor.port()), "--work",
                    (dir.path / "work").string(), std::string(TRACEWIN_EXAMPLES) + "/include.jsp"},
                   dir.path);
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(monitor.recordsOf(0).back(), "%E");
    EXPECT_EQ(monitor.recordsOf(1).back(), "%E");
    EXPECT_THAT(monitor.html(), HasSubstr("<p>After the header</p>"));
    // The server is kept for the next run, until it is told to stop.
    EXPECT_NE(tomcatBelow(dir.path / "work"), 0);
    EXPECT_EQ(runProgram({"--stop-server", "--work", (dir.path / "work").string()}, dir.path).code,
              0);
    EXPECT_EQ(tomcatBelow(dir.path / "work"), 0) << "Tomcat outlived --stop-server";
}

TEST(TomcatRunnerProgram, SendsWhatThePageHoldsWhileTheMonitorsSettingsAskForIt) {
    TempDir dir;
    ScriptedMonitor monitor;
    // The monitor's settings below the root: its port, and the key that asks for variables.
    const fs::path install = dir.path / "root" / "jspvlm" / "tools" / "com-zet-kwo-ui-jspdebug";
    fs::create_directories(install);
    std::ofstream(install / "jspdebug.properties")
        << "port=" << monitor.port() << "\nSendVariables=true\n";
    const std::vector<std::string> common{"--root",  (dir.path / "root").string(),
                                          "--work",  (dir.path / "work").string(),
                                          "--param", "user=Ann"};
    const auto run = [&](std::vector<std::string> extra) {
        std::vector<std::string> args = common;
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back(std::string(TRACEWIN_EXAMPLES) + "/loop.jsp");
        return runProgram(args, dir.path);
    };
    // Each run's page on a connection of its own.
    const auto variables = [&](int connection) {
        std::vector<std::string> out;
        for (const std::string& r : monitor.recordsOf(connection)) {
            if (r.starts_with("%V")) {
                out.push_back(r);
            }
        }
        return out;
    };
    const ProgramRun plain = run({});
    EXPECT_EQ(plain.code, 0) << plain.err;
    const auto first = variables(0);
    ASSERT_FALSE(first.empty());
    // The parameter, the loop's variable, and none of Jasper's locals.
    EXPECT_THAT(first.back(), HasSubstr("&1&-&user&java.lang.String&\"Ann\""));
    EXPECT_THAT(first[first.size() / 2], HasSubstr("&1&-&i&int&"));
    for (const std::string& r : first) {
        EXPECT_THAT(r, ::testing::Not(HasSubstr("&1&-&out&")));
    }
    // With --all-variables the implicit objects are there too.
    const ProgramRun all = run({"--all-variables"});
    EXPECT_EQ(all.code, 0) << all.err;
    const auto second = variables(1);
    ASSERT_FALSE(second.empty());
    EXPECT_THAT(second.back(), HasSubstr("&1&-&out&jakarta.servlet.jsp.JspWriter&"));
    EXPECT_EQ(runProgram({"--stop-server", "--work", (dir.path / "work").string()}, dir.path).code,
              0);
}

TEST(TomcatRunnerProgram, ATomcatThatDiesMidPageEndsTheRunWithSeven) {
    TempDir dir;
    const fs::path work = dir.path / "work";
    std::atomic<int> lines = 0;
    ScriptedMonitor monitor([&](const ScriptedMonitor::Record& r) -> std::optional<std::string> {
        if (r.text.starts_with("%L") && ++lines == 3) {
            if (const pid_t jvm = tomcatBelow(work); jvm != 0) {
                ::kill(jvm, SIGKILL);
            }
        }
        return ScriptedMonitor::continueAll(r);
    });
    const ProgramRun run = runProgram({"--port", std::to_string(monitor.port()), "--work",
                                       work.string(), std::string(TRACEWIN_EXAMPLES) + "/loop.jsp"},
                                      dir.path);
    EXPECT_GE(lines.load(), 3);
    EXPECT_EQ(run.code, 7) << run.err;
    EXPECT_THAT(run.err, HasSubstr("Tomcat"));
}

} // namespace
