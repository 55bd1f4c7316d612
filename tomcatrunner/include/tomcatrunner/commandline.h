#pragma once

#include <chrono>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace pagerunner {
class StopSignal;
}

namespace tomcatrunner {

// The exit codes: pagerunner's, and one of its own.
enum ExitCode : int {
    Ok = 0,             // the page ended, or the monitor closed the connection
    UsageError = 1,     // the command line cannot be read
    PageUnreadable = 2, // the page cannot be read, or the server does not have it
    ConnectFailed = 3,  // no monitor to connect to
    ConnectionLost = 4, // the monitor went away or sent something unreadable mid-page
    Stopped = 5,        // interrupted
    TomcatFailed = 7,   // Tomcat could not be started or attached, or it died
};

// The command line of tomcatrunner:
//   tomcatrunner [--port N] [--root DIR] [--work DIR] [--param NAME=VALUE]... [--file-id N]
//                [--wait SECONDS] [--webapp DIR] [--idle-minutes N] [--all-variables]
//                PAGE.jsp
//   tomcatrunner --stop-server [--work DIR]
//   tomcatrunner [--port N] [--root DIR] [--file-id N] [--wait SECONDS] [--webapp DIR]
//                [--all-variables] --attach HOST:PORT [--url URL] [--only GLOB] [--allow-remote]
//   tomcatrunner --help | --version
// and two options left out of the usage: --keep-server BASE --webapp DIR, the keeper of a
// kept server (started by a run), and --idle-seconds N, an idle time short enough for tests.
struct CommandLine {
    enum class Mode { Run, StopServer, KeepServer };
    // Attach mode: the debugger agent of a running server.
    struct Attach {
        std::string host;
        int port = 0;
        std::string url;  // a request to send and debug; empty: debug requests as they come
        std::string only; // only pages whose path matches
        // Requests that arrive while one is debugged wait for their turn instead of running
        // on unobserved.
        bool all = false;
        bool allowRemote = false;
    };

    bool help = false;
    bool version = false;
    Mode mode = Mode::Run;
    std::optional<int> port;
    std::string root;
    std::string workDir;
    // In the order given; a name given twice sends both values, as a form's checkboxes do.
    std::vector<std::pair<std::string, std::string>> params;
    int firstFileId = 1;
    std::chrono::milliseconds connectWait{0};
    std::string webapp; // the folder served; the page's folder when empty
    std::string page;
    // How long the server is kept after the run when no other run uses it.
    std::chrono::seconds idle{30 * 60};
    std::string keepBase; // the base of --keep-server
    std::optional<Attach> attach;
    // The variables shown include Jasper's and Tomcat's own (see RequestOptions).
    bool allVariables = false;

    // Throws std::invalid_argument with a message for the user.
    static CommandLine parse(const std::vector<std::string>& args);
    static std::string usage();
    // The monitor's port: --port, else the first line of the monitor's debug settings
    // file below --root or the install this program runs from, else 8082.
    int resolvePort() const;
    // The monitor's debug settings file, wherever the monitor keeps it for this user (see
    // pagerunner::CommandLine::settingsFile), when one can be named: it says whether the
    // monitor wants the page's variables.
    std::optional<std::string> settingsFile() const;
    // The work folder used when none is given: the user's own "tomcatrunner-work" (see
    // pagerunner::PageRunner::userWorkDir).
    static std::string defaultWorkDir();
};

// A URL "http://HOST[:PORT]/PATH?QUERY" as host, port and target; nullopt for anything else.
struct HttpUrl {
    std::string host;
    int port = 80;
    std::string target;
};
std::optional<HttpUrl> parseHttpUrl(const std::string& url);

// The request target for a page of the webapp: "/dir/a%20b.jsp?x=1&y=%C3%A9".
std::string requestTarget(const std::string& pathInWebapp,
                          const std::vector<std::pair<std::string, std::string>>& params);

// The program: parses the arguments, runs the page, and returns the exit code. Messages go
// to the two streams; `stop` ends a run from another thread.
int runCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   pagerunner::StopSignal& stop);

} // namespace tomcatrunner
