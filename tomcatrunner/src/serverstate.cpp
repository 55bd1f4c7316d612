#include "tomcatrunner/serverstate.h"

#include "tracehook/atomicfile.h"

#include <charconv>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tomcatrunner {

namespace fs = std::filesystem;

namespace {

std::optional<long long> parseNumber(std::string_view text, long long min, long long max) {
    long long n = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (ec != std::errc() || end != text.data() + text.size() || n < min || n > max) {
        return std::nullopt;
    }
    return n;
}

// A path on one line: '%', CR and LF as %25, %0D and %0A.
std::string escapeLine(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '%':
            out += "%25";
            break;
        case '\r':
            out += "%0D";
            break;
        case '\n':
            out += "%0A";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::optional<std::string> unescapeLine(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        const std::string_view code = text.substr(i + 1, 2);
        if (code == "25") {
            out += '%';
        } else if (code == "0D") {
            out += '\r';
        } else if (code == "0A") {
            out += '\n';
        } else {
            return std::nullopt;
        }
        i += 2;
    }
    return out;
}

std::optional<std::string> readText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

constexpr long long MaxPid = 0x7fffffff;

} // namespace

fs::path ServerFiles::baseFor(const fs::path& workDir) {
    return workDir / "tomcat";
}

bool ServerState::ready() const {
    return keeper > 0 && jvm > 0 && httpPort > 0 && jdwpPort > 0 && !webapp.empty();
}

std::string ServerState::format() const {
    std::string text = "keeper=" + std::to_string(keeper) + "\n";
    if (jvm > 0) {
        text += "jvm=" + std::to_string(jvm) + "\nhttp=" + std::to_string(httpPort) +
                "\njdwp=" + std::to_string(jdwpPort) + "\nwebapp=" + escapeLine(webapp.string()) +
                "\n";
    }
    return text;
}

std::optional<ServerState> ServerState::parse(std::string_view text) {
    ServerState state;
    while (!text.empty()) {
        const std::size_t nl = text.find('\n');
        const std::string_view line = text.substr(0, nl);
        text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            continue;
        }
        const std::string_view name = line.substr(0, eq);
        const std::string_view value = line.substr(eq + 1);
        if (name == "keeper") {
            state.keeper = static_cast<pid_t>(parseNumber(value, 1, MaxPid).value_or(0));
        } else if (name == "jvm") {
            state.jvm = static_cast<pid_t>(parseNumber(value, 1, MaxPid).value_or(0));
        } else if (name == "http") {
            state.httpPort = static_cast<int>(parseNumber(value, 1, 65535).value_or(0));
        } else if (name == "jdwp") {
            state.jdwpPort = static_cast<int>(parseNumber(value, 1, 65535).value_or(0));
        } else if (name == "webapp") {
            state.webapp = unescapeLine(value).value_or("");
        }
    }
    if (state.keeper <= 0) {
        return std::nullopt;
    }
    return state;
}

std::optional<ServerState> ServerState::read(const fs::path& file) {
    const std::optional<std::string> text = readText(file);
    return text ? parse(*text) : std::nullopt;
}

void ServerState::write(const fs::path& file) const {
    const std::string failure = tracehook::AtomicFile::write(file.string(), format());
    if (!failure.empty()) {
        throw std::runtime_error("cannot write " + file.string() + ": " + failure);
    }
}

std::string UseMark::write(const fs::path& file, std::chrono::seconds idle) {
    return tracehook::AtomicFile::write(file.string(),
                                        "idle-seconds=" + std::to_string(idle.count()) + "\n");
}

std::optional<UseMark> UseMark::read(const fs::path& file) {
    std::error_code ec;
    const auto time = fs::last_write_time(file, ec);
    if (ec) {
        return std::nullopt;
    }
    UseMark mark;
    mark.lastUse = time;
    std::string text = readText(file).value_or("");
    constexpr std::string_view Name = "idle-seconds=";
    if (text.starts_with(Name)) {
        std::string_view value = std::string_view(text).substr(Name.size());
        value = value.substr(0, value.find('\n'));
        if (const auto seconds = parseNumber(value, 1, 365LL * 24 * 3600)) {
            mark.idle = std::chrono::seconds(*seconds);
        }
    }
    return mark;
}

} // namespace tomcatrunner
