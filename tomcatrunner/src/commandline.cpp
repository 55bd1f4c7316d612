#include "tomcatrunner/commandline.h"

#include "pagerunner/commandline.h"

#include <cctype>
#include <filesystem>
#include <stdexcept>

namespace tomcatrunner {

namespace fs = std::filesystem;

std::string CommandLine::usage() {
    return "Usage: tomcatrunner [--port N] [--root DIR] [--work DIR] [--param NAME=VALUE]...\n"
           "                    [--file-id N] [--wait SECONDS] [--webapp DIR] PAGE.jsp\n"
           "\n"
           "Runs a JSP page in a real Apache Tomcat 10 and debugs its request against the\n"
           "monitor on the loopback address: each line of the page that runs, the HTML it\n"
           "writes, the pages it includes, and the errors of a page that does not compile.\n"
           "A private Tomcat serves the webapp, on loopback ports of its own.\n"
           "\n"
           "  --port N             the monitor's port (default: the first line of the\n"
           "                       monitor's debug settings file, else 8082)\n"
           "  --root DIR           the test-environment root whose debug settings give the port\n"
           "  --work DIR           where the private Tomcat keeps its files\n"
           "  --webapp DIR         the webapp to serve (default: the folder of PAGE)\n"
           "  --param NAME=VALUE   a request parameter (may be repeated)\n"
           "  --file-id N          the file id of the page (default 1); other files count up\n"
           "  --wait SECONDS       keep trying that long while no monitor listens yet\n"
           "  --help               show this text\n"
           "\n"
           "Exit codes: 0 the page ended or the monitor closed the connection; 1 bad command\n"
           "line; 2 the page cannot be read; 3 no monitor to connect to; 4 the monitor went\n"
           "away or answered something unreadable mid-page; 7 Tomcat could not be started or\n"
           "attached, or it died.\n";
}

CommandLine CommandLine::parse(const std::vector<std::string>& args) {
    CommandLine cl;
    // The options every page runtime shares are pagerunner's; the rest are ours.
    std::vector<std::string> common;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            cl.help = true;
            return cl;
        }
        if (arg == "--translate") {
            throw std::invalid_argument("unknown option --translate");
        }
        if (arg == "--webapp" || arg.starts_with("--webapp=")) {
            if (arg.size() > 8) {
                cl.webapp = arg.substr(9);
            } else if (i + 1 < args.size()) {
                cl.webapp = args[++i];
            } else {
                throw std::invalid_argument("the option --webapp needs a value");
            }
            if (cl.webapp.empty()) {
                throw std::invalid_argument("the option --webapp needs a folder");
            }
            continue;
        }
        common.push_back(arg);
    }
    const pagerunner::CommandLine shared = pagerunner::CommandLine::parse(common);
    cl.port = shared.port;
    cl.root = shared.root;
    cl.workDir = shared.options.workDir;
    cl.params = shared.options.params;
    cl.firstFileId = shared.options.firstFileId;
    cl.connectWait = shared.options.connectWait;
    cl.page = shared.options.page;
    return cl;
}

int CommandLine::resolvePort() const {
    pagerunner::CommandLine shared;
    shared.port = port;
    shared.root = root;
    return shared.resolvePort();
}

std::string CommandLine::defaultWorkDir() {
    return (fs::temp_directory_path() / "tomcatrunner-work").string();
}

namespace {

// Percent-encodes what a URL's path segment or query value cannot hold.
std::string percentEncode(std::string_view text, bool keepSlash) {
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (std::isalnum(b) || c == '-' || c == '.' || c == '_' || c == '~' ||
            (keepSlash && c == '/')) {
            out += c;
        } else {
            out += '%';
            out += Hex[b >> 4];
            out += Hex[b & 15];
        }
    }
    return out;
}

} // namespace

std::string requestTarget(const std::string& pathInWebapp,
                          const std::map<std::string, std::string>& params) {
    std::string target = "/" + percentEncode(pathInWebapp, true);
    char separator = '?';
    for (const auto& [name, value] : params) {
        target += separator;
        target += percentEncode(name, false) + "=" + percentEncode(value, false);
        separator = '&';
    }
    return target;
}

} // namespace tomcatrunner
