#include "tomcatrunner/commandline.h"

#include "pagerunner/commandline.h"
#include "pagerunner/pagerunner.h"

#include <cctype>
#include <charconv>
#include <cstdint>
#include <filesystem>
#include <stdexcept>

namespace tomcatrunner {

namespace fs = std::filesystem;

std::string CommandLine::usage() {
    return "Usage: tomcatrunner [--port N] [--root DIR] [--work DIR] [--param NAME=VALUE]...\n"
           "                    [--file-id N] [--wait SECONDS] [--webapp DIR]\n"
           "                    [--idle-minutes N] [--all-variables] PAGE.jsp\n"
           "       tomcatrunner --stop-server [--work DIR]\n"
           "       tomcatrunner [--port N] [--root DIR] [--file-id N] [--wait SECONDS]\n"
           "                    [--all-variables] --attach HOST:PORT [--url URL | --all]\n"
           "                    [--only GLOB] [--allow-remote]\n"
           "       tomcatrunner --help | --version\n"
           "\n"
           "Runs a JSP page in a real Apache Tomcat 10 and debugs its request against the\n"
           "monitor on the loopback address: each line of the page that runs, the HTML it\n"
           "writes, the pages it includes, and the errors of a page that does not compile.\n"
           "Tomcat serves the webapp on loopback ports of its own, and is kept for the next\n"
           "runs with the same work folder: they reuse it while it answers and serves the\n"
           "same webapp, one run at a time. It stops when no run has used it for the idle\n"
           "time, or on --stop-server.\n"
           "\n"
           "With --attach it debugs a Tomcat that runs with a debugger agent (catalina.sh jpda\n"
           "run): the JSP requests that arrive, one after the other, each as a page of its own,\n"
           "until interrupted; with --url it sends that request itself and ends with it.\n"
           "Requests that arrive while one is debugged run on unobserved, or with --all wait\n"
           "for their turn at the first line of their page.\n"
           "\n"
           "  --port N             the monitor's port (default: the first line of the\n"
           "                       monitor's debug settings file, else 8082)\n"
           "  --root DIR           the test-environment root whose debug settings give the port\n"
           "  --work DIR           where Tomcat keeps its files; one server per work folder\n"
           "  --webapp DIR         the webapp to serve (default: the folder of PAGE)\n"
           "  --param NAME=VALUE   a request parameter (may be repeated)\n"
           "  --file-id N          the file id of the page (default 1); other files count up\n"
           "  --wait SECONDS       keep trying that long while no monitor listens yet\n"
           "  --idle-minutes N     stop the kept Tomcat after N minutes without a run\n"
           "                       (default 30)\n"
           "  --all-variables      while the monitor shows the page's variables, show\n"
           "                       Jasper's and Tomcat's own too: the implicit objects\n"
           "                       (request, out, pageContext, ...) and Jasper's locals, and\n"
           "                       the attributes Tomcat keeps in the page and application\n"
           "                       scopes; by default only the page's own\n"
           "  --stop-server        stop the Tomcat kept for the work folder, and exit\n"
           "  --attach HOST:PORT   the debugger agent of a running server (loopback only)\n"
           "  --url URL            with --attach: the request to send and debug\n"
           "  --only GLOB          with --attach: debug only pages whose path matches, as\n"
           "                       \"/admin/*.jsp\"; other requests run unobserved\n"
           "  --all                with --attach: requests that arrive while one is debugged\n"
           "                       wait for their turn (a server that also serves others\n"
           "                       keeps them waiting)\n"
           "  --allow-remote       with --attach: allow an agent on another host (it hands\n"
           "                       whoever connects full control of that JVM)\n"
           "  --help               show this text\n"
           "  --version            show the version\n"
           "\n"
           "Exit codes: 0 the page ended or the monitor closed the connection, or the server\n"
           "is stopped (or none ran); 1 bad command line; 2 the page cannot be read; 3 no\n"
           "monitor to connect to; 4 the monitor went away or answered something unreadable\n"
           "mid-page; 5 interrupted; 7 Tomcat could not be started, stopped or attached, or\n"
           "it died.\n";
}

namespace {

constexpr std::int64_t MaxIdleSeconds = 7 * 24 * 3600;

std::chrono::seconds parseIdle(const std::string& option, const std::string& text,
                               std::int64_t unit) {
    const std::int64_t max = MaxIdleSeconds / unit;
    std::int64_t n = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (ec != std::errc() || end != text.data() + text.size() || n < 1 || n > max) {
        throw std::invalid_argument("the option " + option + " needs a number from 1 to " +
                                    std::to_string(max) + ", not \"" + text + "\"");
    }
    return std::chrono::seconds(n * unit);
}

// pagerunner's options that take a value.
bool takesValue(const std::string& option) {
    for (const char* name : {"--port", "--root", "--work", "--param", "--file-id", "--wait"}) {
        if (option == name) {
            return true;
        }
    }
    return false;
}

} // namespace

CommandLine CommandLine::parse(const std::vector<std::string>& args) {
    CommandLine cl;
    // The options every page runtime shares are pagerunner's; the rest are ours.
    std::vector<std::string> common;
    std::optional<std::string> attach;
    CommandLine::Attach attachOptions;
    bool attachOnly = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            cl.help = true;
            return cl;
        }
        if (arg == "--version") {
            cl.version = true;
            return cl;
        }
        const std::size_t eq = arg.starts_with("--") ? arg.find('=') : std::string::npos;
        const std::string name = arg.substr(0, eq);
        const auto value = [&]() -> std::string {
            if (eq != std::string::npos) {
                return arg.substr(eq + 1);
            }
            if (i + 1 >= args.size()) {
                throw std::invalid_argument("the option " + name + " needs a value");
            }
            return args[++i];
        };
        if (name == "--translate") {
            throw std::invalid_argument("unknown option --translate");
        } else if (name == "--webapp") {
            cl.webapp = value();
            if (cl.webapp.empty()) {
                throw std::invalid_argument("the option --webapp needs a folder");
            }
        } else if (name == "--stop-server") {
            if (eq != std::string::npos) {
                throw std::invalid_argument("the option --stop-server takes no value");
            }
            cl.mode = Mode::StopServer;
        } else if (name == "--keep-server") {
            cl.mode = Mode::KeepServer;
            cl.keepBase = value();
            if (cl.keepBase.empty()) {
                throw std::invalid_argument("the option --keep-server needs a folder");
            }
        } else if (name == "--attach") {
            attach = value();
        } else if (name == "--url") {
            attachOptions.url = value();
            attachOnly = true;
        } else if (name == "--only") {
            attachOptions.only = value();
            attachOnly = true;
        } else if (name == "--all") {
            if (eq != std::string::npos) {
                throw std::invalid_argument("the option --all takes no value");
            }
            attachOptions.all = true;
            attachOnly = true;
        } else if (name == "--allow-remote") {
            attachOptions.allowRemote = true;
            attachOnly = true;
        } else if (name == "--all-variables") {
            if (eq != std::string::npos) {
                throw std::invalid_argument("the option --all-variables takes no value");
            }
            cl.allVariables = true;
        } else if (name == "--idle-minutes") {
            cl.idle = parseIdle(name, value(), 60);
        } else if (name == "--idle-seconds") {
            cl.idle = parseIdle(name, value(), 1);
        } else if (takesValue(name) && eq == std::string::npos && i + 1 < args.size()) {
            // Whole, so that its value never reads as one of the options above.
            common.push_back(arg);
            common.push_back(args[++i]);
        } else {
            common.push_back(arg);
        }
    }
    if (cl.mode == Mode::KeepServer) {
        if (cl.webapp.empty() || !common.empty()) {
            throw std::invalid_argument("--keep-server takes a base and --webapp DIR only");
        }
        return cl;
    }
    if (cl.mode == Mode::StopServer) {
        // The work folder is the only thing it needs.
        for (std::size_t i = 0; i < common.size(); ++i) {
            if (common[i] == "--work" && i + 1 < common.size()) {
                cl.workDir = common[++i];
            } else if (common[i].starts_with("--work=")) {
                cl.workDir = common[i].substr(7);
            } else {
                throw std::invalid_argument("--stop-server takes --work DIR only, not \"" +
                                            common[i] + "\"");
            }
        }
        return cl;
    }
    if (attachOnly && !attach) {
        throw std::invalid_argument("--url, --only, --all and --allow-remote go with --attach");
    }
    if (attach) {
        const auto colon = attach->rfind(':');
        const auto port = colon == std::string::npos
                              ? std::nullopt
                              : std::optional<int>(std::atoi(attach->c_str() + colon + 1));
        if (!port || *port < 1 || *port > 65535 || colon == 0 ||
            attach->find_first_not_of("0123456789", colon + 1) != std::string::npos) {
            throw std::invalid_argument("--attach takes HOST:PORT, not \"" + *attach + "\"");
        }
        attachOptions.host = attach->substr(0, colon);
        if (attachOptions.host.size() > 2 && attachOptions.host.front() == '[' &&
            attachOptions.host.back() == ']') {
            attachOptions.host = attachOptions.host.substr(1, attachOptions.host.size() - 2);
        }
        attachOptions.port = *port;
        if (attachOptions.all && !attachOptions.url.empty()) {
            throw std::invalid_argument("--all goes with requests from elsewhere, not --url");
        }
        if (!attachOptions.url.empty() && !parseHttpUrl(attachOptions.url)) {
            throw std::invalid_argument("--url takes an http:// URL, not \"" + attachOptions.url +
                                        "\"");
        }
        cl.attach = attachOptions;
        // The shared options need a page; an attached runner's pages come from the server.
        for (std::size_t i = 0; i < common.size(); ++i) {
            if (takesValue(common[i])) {
                ++i; // its value, kept whole above
            } else if (!common[i].starts_with("-") && common[i] != "-") {
                throw std::invalid_argument("--attach takes no page: the server chooses them");
            }
        }
        common.push_back("attached.jsp");
    }
    const pagerunner::CommandLine shared = pagerunner::CommandLine::parse(common);
    cl.port = shared.port;
    cl.root = shared.root;
    cl.workDir = shared.options.workDir;
    // The shared parser checked every --param; it keeps one value per name, we keep all.
    for (std::size_t i = 0; i < common.size(); ++i) {
        std::string param;
        if (common[i] == "--param" && i + 1 < common.size()) {
            param = common[++i];
        } else if (common[i].starts_with("--param=")) {
            param = common[i].substr(8);
        } else {
            continue;
        }
        const std::size_t eq = param.find('=');
        cl.params.emplace_back(param.substr(0, eq), param.substr(eq + 1));
    }
    cl.firstFileId = shared.options.firstFileId;
    cl.connectWait = shared.options.connectWait;
    if (!cl.attach) {
        cl.page = shared.options.page;
    }
    return cl;
}

int CommandLine::resolvePort() const {
    pagerunner::CommandLine shared;
    shared.port = port;
    shared.root = root;
    return shared.resolvePort();
}

std::optional<std::string> CommandLine::settingsFile() const {
    pagerunner::CommandLine shared;
    shared.root = root;
    return shared.settingsFile();
}

std::string CommandLine::defaultWorkDir() {
    return pagerunner::PageRunner::userWorkDir("tomcatrunner-work");
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

std::optional<HttpUrl> parseHttpUrl(const std::string& url) {
    constexpr std::string_view scheme = "http://";
    if (!url.starts_with(scheme)) {
        return std::nullopt;
    }
    const std::string rest = url.substr(scheme.size());
    const auto slash = rest.find('/');
    const std::string authority = rest.substr(0, slash);
    HttpUrl out;
    out.target = slash == std::string::npos ? "/" : rest.substr(slash);
    std::string host = authority;
    const auto colon = authority.rfind(':');
    if (colon != std::string::npos && authority.find(']', colon) == std::string::npos) {
        const std::string port = authority.substr(colon + 1);
        if (port.empty() || port.find_first_not_of("0123456789") != std::string::npos ||
            port.size() > 5) {
            return std::nullopt;
        }
        out.port = std::stoi(port);
        host = authority.substr(0, colon);
    }
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    if (host.empty() || out.port < 1 || out.port > 65535 ||
        host.find_first_of("@ /") != std::string::npos) {
        return std::nullopt;
    }
    out.host = host;
    return out;
}

std::string requestTarget(const std::string& pathInWebapp,
                          const std::vector<std::pair<std::string, std::string>>& params) {
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
