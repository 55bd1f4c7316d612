#include "jdwp/debuggee.h"
#include "jdwp/error.h"
#include "pagerunner/monitorconnection.h"
#include "pagerunner/stopsignal.h"
#include "tomcatrunner/commandline.h"
#include "tomcatrunner/managedtomcat.h"
#include "tomcatrunner/pageclasses.h"
#include "tomcatrunner/requestdebugger.h"
#include "tomcatrunner/serverlease.h"

#include <filesystem>

namespace tomcatrunner {

namespace fs = std::filesystem;

namespace {

int fail(std::ostream& err, int code, const std::string& message) {
    err << "tomcatrunner: " << message << std::endl;
    return code;
}

// Runs the page of the command line in a private Tomcat.
int runManaged(const CommandLine& cl, std::ostream& out, std::ostream& err,
               pagerunner::StopSignal& stop) {
    std::error_code ec;
    const fs::path page = fs::absolute(cl.page).lexically_normal();
    if (!fs::is_regular_file(page, ec)) {
        return fail(err, ExitCode::PageUnreadable, "cannot read the page " + cl.page);
    }
    const fs::path webapp = fs::absolute(cl.webapp.empty() ? page.parent_path().string()
                                                           : cl.webapp)
                                .lexically_normal();
    const fs::path inWebapp = page.lexically_relative(webapp);
    if (inWebapp.empty() || *inWebapp.begin() == "..") {
        return fail(err, ExitCode::UsageError,
                    "the page " + page.string() + " is not inside the webapp " + webapp.string());
    }
    const fs::path work = fs::absolute(cl.workDir.empty() ? CommandLine::defaultWorkDir() : cl.workDir);
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
    out << "tomcatrunner: running " << request.target << " against the monitor on 127.0.0.1:"
        << port << std::endl;
    try {
        PageClasses classes(*vm, options.base / "work" / "Catalina" / "localhost" / "ROOT");
        RequestDebugger debugger(*vm, classes, request, stop);
        const RequestResult result = debugger.run();
        vm->vm.dispose();
        switch (result.kind) {
        case RequestResult::Kind::Ended:
        case RequestResult::Kind::Abnormal:
        case RequestResult::Kind::MonitorClosed:
            out << "tomcatrunner: the request for " << cl.page << " is over" << std::endl;
            return ExitCode::Ok;
        case RequestResult::Kind::MonitorLost:
            return fail(err, ExitCode::ConnectionLost,
                        result.message + " before the page " + cl.page + " ended");
        case RequestResult::Kind::MonitorMissing:
            return fail(err, ExitCode::ConnectFailed, result.message);
        case RequestResult::Kind::NoPage:
            if (result.httpStatus == 404) {
                return fail(err, ExitCode::PageUnreadable, "Tomcat does not serve " + request.target);
            }
            return fail(err, ExitCode::PageUnreadable,
                        "no page ran for " + request.target + " (HTTP " +
                            std::to_string(result.httpStatus) + ")");
        }
        return ExitCode::Ok;
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
        std::string message = e.what();
        if (!tomcat->running()) {
            message = "Tomcat died while the page ran (" + message + "); its log: " +
                      tomcat->log().string();
        }
        return fail(err, ExitCode::TomcatFailed, message);
    }
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
    return runManaged(cl, out, err, stop);
}

} // namespace tomcatrunner
