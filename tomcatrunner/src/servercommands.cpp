#include "tomcatrunner/servercommands.h"

#include "tomcatrunner/commandline.h"
#include "tomcatrunner/keptserver.h"
#include "tomcatrunner/managedtomcat.h"
#include "tomcatrunner/serverkeeper.h"

#include <filesystem>
#include <stdexcept>

namespace tomcatrunner {

namespace fs = std::filesystem;

namespace {

int stopServer(const CommandLine& cl, std::ostream& out, std::ostream& err) {
    const fs::path work =
        fs::absolute(cl.workDir.empty() ? CommandLine::defaultWorkDir() : cl.workDir);
    const KeptServer server(ServerFiles(ServerFiles::baseFor(work)));
    const std::optional<ServerState> state = server.state();
    try {
        if (!server.stop()) {
            out << "tomcatrunner: no Tomcat runs for " << work.string() << std::endl;
            return ExitCode::Ok;
        }
    } catch (const TomcatError& e) {
        err << "tomcatrunner: " << e.what() << std::endl;
        return ExitCode::TomcatFailed;
    }
    out << "tomcatrunner: stopped the Tomcat of " << work.string();
    if (state && state->jvm > 0) {
        out << " (JVM " << state->jvm << ")";
    }
    out << std::endl;
    return ExitCode::Ok;
}

} // namespace

std::optional<int> runServerCommand(const std::vector<std::string>& args, std::ostream& out,
                                    std::ostream& err) {
    CommandLine cl;
    try {
        cl = CommandLine::parse(args);
    } catch (const std::invalid_argument&) {
        return std::nullopt;
    }
    if (cl.help || cl.version) {
        return std::nullopt;
    }
    switch (cl.mode) {
    case CommandLine::Mode::StopServer:
        return stopServer(cl, out, err);
    case CommandLine::Mode::KeepServer: {
        ServerKeeper keeper(ServerFiles(fs::absolute(cl.keepBase)), fs::absolute(cl.webapp), err);
        return keeper.run();
    }
    case CommandLine::Mode::Run:
        break;
    }
    return std::nullopt;
}

} // namespace tomcatrunner
