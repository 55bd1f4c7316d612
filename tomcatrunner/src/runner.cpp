#include "jdwp/debuggee.h"
#include "jdwp/error.h"
#include "pagerunner/monitorconnection.h"
#include "pagerunner/stopsignal.h"
#include "tomcatrunner/commandline.h"
#include "tomcatrunner/managedtomcat.h"
#include "tomcatrunner/pageclasses.h"
#include "tomcatrunner/requestdebugger.h"
#include "tomcatrunner/serverlease.h"
#include "tracehook/variablesswitch.h"
#include "tracewin/version.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

namespace tomcatrunner {

namespace fs = std::filesystem;

namespace {

// Whether the monitor wants the page's variables, asked at each stop: it says so in its
// debug settings file.
std::function<bool()> variablesSwitch(const CommandLine& cl) {
    const std::optional<std::string> file = cl.settingsFile();
    if (!file) {
        return {};
    }
    auto settings = std::make_shared<tracehook::VariablesSwitch>(*file);
    return [settings] {
        return settings->enabled();
    };
}

int fail(std::ostream& err, int code, const std::string& message) {
    err << "tomcatrunner: " << message << std::endl;
    return code;
}

// What a debugged request's end means for the program.
int reportResult(const RequestResult& result, const std::string& what, std::ostream& out,
                 std::ostream& err) {
    switch (result.kind) {
    case RequestResult::Kind::Ended:
    case RequestResult::Kind::Abnormal:
    case RequestResult::Kind::CompileFailed:
    case RequestResult::Kind::MonitorClosed:
        out << "tomcatrunner: the request for " << what << " is over" << std::endl;
        return ExitCode::Ok;
    case RequestResult::Kind::MonitorLost:
        return fail(err, ExitCode::ConnectionLost,
                    result.message + " before the page " + what + " ended");
    case RequestResult::Kind::MonitorMissing:
        return fail(err, ExitCode::ConnectFailed, result.message);
    case RequestResult::Kind::NoPage:
        if (result.httpStatus == 404) {
            return fail(err, ExitCode::PageUnreadable, "the server does not serve " + what);
        }
        return fail(err, ExitCode::PageUnreadable,
                    "no page ran for " + what + " (HTTP " + std::to_string(result.httpStatus) +
                        ")");
    }
    return ExitCode::Ok;
}

// Runs the page of the command line in a private Tomcat.
int runManaged(const CommandLine& cl, std::ostream& out, std::ostream& err,
               pagerunner::StopSignal& stop) {
    std::error_code ec;
    const fs::path page = fs::absolute(cl.page).lexically_normal();
    if (!fs::is_regular_file(page, ec)) {
        return fail(err, ExitCode::PageUnreadable, "cannot read the page " + cl.page);
    }
    const fs::path webapp =
        fs::absolute(cl.webapp.empty() ? page.parent_path().string() : cl.webapp)
            .lexically_normal();
    const fs::path inWebapp = page.lexically_relative(webapp);
    if (inWebapp.empty() || *inWebapp.begin() == "..") {
        return fail(err, ExitCode::UsageError,
                    "the page " + page.string() + " is not inside the webapp " + webapp.string());
    }
    const fs::path work =
        fs::absolute(cl.workDir.empty() ? CommandLine::defaultWorkDir() : cl.workDir);
    const int port = cl.resolvePort();

    // The Tomcat kept for the work folder, started when none serves the webapp; the lease
    // ends after the debugger has left (declared before it).
    ServerLeaseOptions options;
    options.base = ServerFiles::baseFor(work);
    options.webapp = webapp;
    options.idle = cl.idle;
    std::unique_ptr<ServerLease> tomcat;
    std::unique_ptr<jdwp::Debuggee> vm;
    try {
        tomcat = ServerLease::acquire(options, out, stop);
        vm = tomcat->takeDebuggee();
        // Steps by Java lines: the page's own stratum would merge the pieces of a line.
        vm->vm.setDefaultStratum("Java");
    } catch (const TomcatError& e) {
        return fail(err, stop.stopped() ? ExitCode::Stopped : ExitCode::TomcatFailed, e.what());
    } catch (const jdwp::Error& e) {
        return fail(err, ExitCode::TomcatFailed, std::string("cannot debug Tomcat: ") + e.what());
    }

    RequestOptions request;
    request.monitorPort = port;
    request.connectWait = cl.connectWait;
    request.webapp = webapp;
    request.httpPort = tomcat->httpPort();
    request.target = requestTarget(inWebapp.generic_string(), cl.params);
    request.firstFileId = cl.firstFileId;
    request.sendVariables = variablesSwitch(cl);
    request.allVariables = cl.allVariables;
    out << "tomcatrunner: running " << request.target
        << " against the monitor on 127.0.0.1:" << port << std::endl;
    try {
        PageClasses classes(*vm, options.base / "work" / "Catalina" / "localhost" / "ROOT");
        RequestDebugger debugger(*vm, classes, request, stop);
        const RequestResult result = debugger.run();
        vm->vm.dispose();
        return reportResult(result, cl.page, out, err);
    } catch (const pagerunner::ConnectionError& e) {
        switch (e.kind()) {
        case pagerunner::ConnectionError::Kind::ConnectFailed:
            return fail(err, ExitCode::ConnectFailed, e.what());
        case pagerunner::ConnectionError::Kind::Stopped:
            return fail(err, ExitCode::Stopped, e.what());
        default:
            return fail(err, ExitCode::ConnectionLost, e.what());
        }
    } catch (const HttpError& e) {
        return fail(err, ExitCode::TomcatFailed, e.what());
    } catch (const jdwp::Error& e) {
        // A JVM killed outright closes its sockets before its parent can reap it: give it a
        // moment to be seen gone.
        bool gone = !tomcat->running();
        for (int i = 0; i < 100 && !gone; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            gone = !tomcat->running();
        }
        return fail(err, ExitCode::TomcatFailed,
                    gone ? "Tomcat's JVM ended while the page ran (" + std::string(e.what()) +
                               "); its log: " + tomcat->log().string()
                         : "the connection to Tomcat broke while the page ran: " +
                               std::string(e.what()));
    }
}

// Debugs requests in a server that runs with a debugger agent.
int runAttached(const CommandLine& cl, std::ostream& out, std::ostream& err,
                pagerunner::StopSignal& stop) {
    const CommandLine::Attach& a = *cl.attach;
    const std::string peer = a.host + ":" + std::to_string(a.port);
    std::unique_ptr<jdwp::Debuggee> vm;
    try {
        auto transport = jdwp::SocketTransport::connect(a.host, a.port, std::chrono::seconds(5));
        if (!transport->peerIsLoopback()) {
            if (!a.allowRemote) {
                return fail(err, ExitCode::TomcatFailed,
                            peer + " is not on this machine: a debugger agent hands whoever "
                                   "connects full control of its JVM, so tomcatrunner attaches "
                                   "to another host only with --allow-remote");
            }
            err << "tomcatrunner: warning: attaching to " << peer
                << " over the network; its debugger agent hands whoever reaches that port full "
                   "control of the JVM, and nothing on the way is encrypted"
                << std::endl;
        }
        vm = std::make_unique<jdwp::Debuggee>(std::move(transport), peer, jdwp::AttachOptions{});
        vm->vm.setDefaultStratum("Java");
    } catch (const jdwp::Error& e) {
        return fail(err, ExitCode::TomcatFailed, std::string("cannot attach: ") + e.what());
    }
    PageClasses classes(*vm, {});
    RequestOptions request;
    request.monitorPort = cl.resolvePort();
    request.connectWait = cl.connectWait;
    request.webapp = cl.webapp.empty() ? fs::path() : fs::absolute(cl.webapp);
    request.only = a.only;
    request.firstFileId = cl.firstFileId;
    request.sendVariables = variablesSwitch(cl);
    request.allVariables = cl.allVariables;
    WaitingRequests waiting;
    if (a.all) {
        request.waiting = &waiting;
    }
    int code = ExitCode::Ok;
    try {
        if (!a.url.empty()) {
            const HttpUrl url = *parseHttpUrl(a.url);
            request.httpHost = url.host;
            request.httpPort = url.port;
            request.target = url.target;
            out << "tomcatrunner: debugging " << a.url << " in " << peer << std::endl;
            RequestDebugger debugger(*vm, classes, request, stop);
            code = reportResult(debugger.run(), a.url, out, err);
        } else {
            out << "tomcatrunner: debugging the JSP requests that reach " << peer
                << ", one after the other" << (a.all ? ", each waiting for its turn" : "")
                << "; Ctrl+C ends" << std::endl;
            while (code == ExitCode::Ok && !stop.stopped()) {
                RequestDebugger debugger(*vm, classes, request, stop);
                const RequestResult result = debugger.run();
                code =
                    reportResult(result, result.page.empty() ? "a request" : result.page, out, err);
                if (waiting.size() > 0) {
                    const std::size_t n = waiting.size();
                    out << "tomcatrunner: " << n
                        << (n == 1 ? " request waits for its turn"
                                   : " requests wait for their turn")
                        << std::endl;
                }
            }
        }
    } catch (const pagerunner::ConnectionError& e) {
        if (e.kind() == pagerunner::ConnectionError::Kind::ConnectFailed) {
            code = fail(err, ExitCode::ConnectFailed, e.what());
        } else if (e.kind() != pagerunner::ConnectionError::Kind::Stopped) {
            code = fail(err, ExitCode::ConnectionLost, e.what());
        }
        // Interrupted: the usual end of an attached run.
    } catch (const HttpError& e) {
        code = fail(err, ExitCode::TomcatFailed, e.what());
    } catch (const jdwp::Error& e) {
        return fail(err, ExitCode::TomcatFailed, std::string("the server went away: ") + e.what());
    }
    try {
        // The server goes on serving: every request of this debugger cancelled, every
        // thread it stopped resumed, those that waited for their turn included.
        vm->vm.dispose();
    } catch (const jdwp::Error&) {
    }
    return code;
}

} // namespace

int runCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   pagerunner::StopSignal& stop) {
    CommandLine cl;
    try {
        cl = CommandLine::parse(args);
    } catch (const std::invalid_argument& e) {
        err << "tomcatrunner: " << e.what() << "\nTry 'tomcatrunner --help'.\n";
        return ExitCode::UsageError;
    }
    if (cl.help) {
        out << CommandLine::usage();
        return ExitCode::Ok;
    }
    if (cl.version) {
        out << tracewin::versionLine("tomcatrunner") << "\n";
        return ExitCode::Ok;
    }
    return cl.attach ? runAttached(cl, out, err, stop) : runManaged(cl, out, err, stop);
}

} // namespace tomcatrunner
