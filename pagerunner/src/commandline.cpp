#include "pagerunner/commandline.h"

#include "pagerunner/pagecompiler.h"
#include "pagerunner/sourcemaplisting.h"
#include "tracehook/decimal.h"
#include "tracehook/jspdebugdynamicpathfactory.h"
#include "tracehook/settingslocation.h"
#include "tracehook/systemproperties.h"
#include "tracewin/version.h"

#include <filesystem>
#include <fstream>
#include <ostream>
#include <stdexcept>

namespace pagerunner {
namespace {

constexpr int defaultPort = 8082;

// A decimal number from 1 to max, nothing else.
std::optional<int> parseNumber(std::string_view text, int max) {
    std::optional<int> n = tracehook::parseDecimalInt32(text);
    if (!n || *n < 1 || *n > max)
        return std::nullopt;
    return n;
}

std::optional<int> parsePort(std::string_view text) {
    return parseNumber(text, 65535);
}

bool writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    return static_cast<bool>(out);
}

} // namespace

std::string CommandLine::usage() {
    return "Usage: pagerunner [--port N] [--root DIR] [--work DIR] [--param NAME=VALUE]...\n"
           "                  [--file-id N] [--wait SECONDS] PAGE.jsp\n"
           "       pagerunner --translate PAGE.jsp [--work DIR]\n"
           "       pagerunner --help | --version\n"
           "\n"
           "Runs a JSP page once against the monitor on the loopback address, reporting each\n"
           "line it executes and the HTML it writes, and obeying the monitor's replies.\n"
           "\n"
           "  --port N             the monitor's port (default: the first line of the\n"
           "                       monitor's debug settings file, else 8082)\n"
           "  --root DIR           the test-environment root whose debug settings give the port\n"
           "  --work DIR           where the generated Java servlets go\n"
           "  --param NAME=VALUE   a request parameter (may be repeated)\n"
           "  --file-id N          the file id of the page (default 1); included pages count\n"
           "                       up from it; requests that run side by side need ids of\n"
           "                       their own\n"
           "  --wait SECONDS       keep trying that long while no monitor listens yet\n"
           "  --translate          only write the generated Java file and a listing of its\n"
           "                       source map (NAME.map beside it), then exit\n"
           "  --help               show this text\n"
           "  --version            show the version\n"
           "\n"
           "Exit codes: 0 the page ended or the monitor closed the connection; 1 bad command\n"
           "line; 2 the page cannot be read; 3 no monitor to connect to; 4 the monitor went\n"
           "away or answered something unreadable mid-page; 6 --translate found compile errors.\n";
}

CommandLine CommandLine::parse(const std::vector<std::string>& args) {
    CommandLine cl;
    bool translate = false;
    std::vector<std::string> pages;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        std::optional<std::string> inlineValue;
        if (arg.starts_with("--")) {
            const std::size_t eq = arg.find('=');
            if (eq != std::string::npos) {
                inlineValue = arg.substr(eq + 1);
                arg = arg.substr(0, eq);
            }
        }
        auto value = [&]() -> std::string {
            if (inlineValue)
                return *inlineValue;
            if (i + 1 >= args.size())
                throw std::invalid_argument("the option " + arg + " needs a value");
            return args[++i];
        };
        if (arg == "--help" || arg == "-h") {
            cl.mode = Mode::Help;
            return cl;
        } else if (arg == "--version") {
            cl.mode = Mode::Version;
            return cl;
        } else if (arg == "--translate") {
            translate = true;
        } else if (arg == "--port") {
            const std::string v = value();
            cl.port = parsePort(v);
            if (!cl.port)
                throw std::invalid_argument("the port must be a number from 1 to 65535, not \"" +
                                            v + "\"");
        } else if (arg == "--file-id") {
            const std::string v = value();
            // Included pages count up from the id, so leave them room.
            std::optional<int> id = parseNumber(v, 1'000'000'000);
            if (!id)
                throw std::invalid_argument("the file id must be a number from 1 to 1000000000, "
                                            "not \"" +
                                            v + "\"");
            cl.options.firstFileId = *id;
        } else if (arg == "--wait") {
            const std::string v = value();
            std::optional<int> seconds = parseNumber(v, 3600);
            if (!seconds && v != "0")
                throw std::invalid_argument(
                    "the wait is a number of seconds from 0 to 3600, not \"" + v + "\"");
            cl.options.connectWait = std::chrono::seconds(seconds.value_or(0));
        } else if (arg == "--root") {
            cl.root = value();
        } else if (arg == "--work") {
            cl.options.workDir = value();
        } else if (arg == "--param") {
            const std::string v = value();
            const std::size_t eq = v.find('=');
            if (eq == std::string::npos || eq == 0)
                throw std::invalid_argument("a parameter is given as NAME=VALUE, not \"" + v +
                                            "\"");
            cl.options.params[v.substr(0, eq)] = v.substr(eq + 1);
        } else if (arg.starts_with("-") && arg != "-") {
            throw std::invalid_argument("unknown option " + arg);
        } else {
            pages.push_back(args[i]);
        }
    }
    if (pages.empty())
        throw std::invalid_argument("no page given");
    if (pages.size() > 1)
        throw std::invalid_argument("one page at a time, not " + std::to_string(pages.size()));
    cl.options.page = pages.front();
    cl.mode = translate ? Mode::Translate : Mode::Run;
    return cl;
}

std::optional<std::string> CommandLine::settingsFile() const {
    namespace fs = std::filesystem;
    using tracehook::JspDebugDynamicPathFactory;
    using tracehook::SettingsLocation;
    // The monitor's own file, wherever the monitor keeps it for this user.
    if (!root.empty())
        return SettingsLocation::debugSettingsFile(
            (fs::path(root) / JspDebugDynamicPathFactory::monitorInstallSuffix).string());
    tracehook::SystemProperties::initFromProcess();
    if (std::optional<std::string> dir = JspDebugDynamicPathFactory::getMonitorInstallPath())
        return SettingsLocation::debugSettingsFile(*dir);
    return std::nullopt;
}

int CommandLine::resolvePort() const {
    if (port)
        return *port;
    std::optional<std::string> file = settingsFile();
    if (!file)
        return defaultPort;
    std::ifstream in(*file);
    std::string first;
    if (!in || !std::getline(in, first))
        return defaultPort;
    if (!first.empty() && first.back() == '\r')
        first.pop_back();
    // As the monitor reads it: the text after the first "=" of the first line.
    const std::size_t eq = first.find('=');
    std::optional<int> p = eq == std::string::npos ? std::nullopt : parsePort(first.substr(eq + 1));
    return p.value_or(defaultPort);
}

int runCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    CommandLine cl;
    try {
        cl = CommandLine::parse(args);
    } catch (const std::invalid_argument& e) {
        err << "pagerunner: " << e.what() << "\nTry 'pagerunner --help'.\n";
        return ExitCode::UsageError;
    }
    if (cl.mode == CommandLine::Mode::Help) {
        out << CommandLine::usage();
        return ExitCode::Ok;
    }
    if (cl.mode == CommandLine::Mode::Version) {
        out << tracewin::versionLine("pagerunner") << "\n";
        return ExitCode::Ok;
    }
    if (cl.options.workDir.empty())
        cl.options.workDir = PageRunner::defaultWorkDir();

    if (cl.mode == CommandLine::Mode::Translate) {
        try {
            PageCompiler compiler(cl.options.workDir);
            CompiledPage compiled = compiler.compile(cl.options.page);
            if (!compiled.page.javaGenerated) {
                err << "pagerunner: " << compiled.page.jspPath << " cannot be translated:\n"
                    << *compiled.page.compileMessage;
                return ExitCode::TranslationFailed;
            }
            const std::string listing = SourceMapListing::pathFor(compiled.page.javaPath);
            if (!writeFile(listing, SourceMapListing::write(compiled.page))) {
                err << "pagerunner: cannot write " << listing << "\n";
                return ExitCode::PageUnreadable;
            }
            out << "Wrote " << compiled.page.javaPath << "\nWrote " << listing << "\n";
            if (compiled.page.failed()) {
                err << "pagerunner: " << compiled.page.jspPath << " does not compile:\n"
                    << *compiled.page.compileMessage;
                return ExitCode::TranslationFailed;
            }
            return ExitCode::Ok;
        } catch (const PageError& e) {
            err << "pagerunner: " << e.what() << "\n";
            return ExitCode::PageUnreadable;
        }
    }

    cl.options.port = cl.resolvePort();
    cl.options.settingsFile = cl.settingsFile().value_or("");
    out << "pagerunner: running " << cl.options.page
        << " against the monitor on 127.0.0.1:" << cl.options.port << std::endl;
    PageRunner runner(cl.options);
    const int rc = runner.run();
    if (rc == ExitCode::Ok)
        out << "pagerunner: the request for " << cl.options.page << " is over" << std::endl;
    return rc;
}

} // namespace pagerunner
