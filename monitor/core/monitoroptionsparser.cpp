#include "core/monitoroptionsparser.h"

#include "tracehook/tracer.h"

#include <fstream>

namespace tracewin {

MonitorOptionsParser::MonitorOptionsParser(std::vector<std::string> arguments, char fileSeparator)
    : args(std::move(arguments)), optionIndicators(fileSeparator == '/' ? "-" : "-/") {
    parse();
}

bool MonitorOptionsParser::startsWithOptionIndicator(std::string_view text) const {
    return !text.empty() && optionIndicators.find(text.front()) != std::string::npos;
}

bool MonitorOptionsParser::optionPatternMatches(std::string_view text,
                                                std::string_view pattern) const {
    return startsWithOptionIndicator(text) && text.substr(1, pattern.size()) == pattern;
}

std::string MonitorOptionsParser::extractOptionH() {
    option_h.flagOptionIsSet();
    const std::string& arg = args[currentIndex];
    return arg.size() > 2 ? arg.substr(2) : std::string();
}

std::string MonitorOptionsParser::getNextArg() const {
    return currentIndex + 1 < args.size() ? args[currentIndex + 1] : std::string();
}

bool MonitorOptionsParser::isDigit(std::string_view text) {
    if (text.empty())
        return false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

void MonitorOptionsParser::parse() {
    bool optionsEnded = false;
    for (; currentIndex < args.size(); ++currentIndex) {
        const std::string& arg = args[currentIndex];
        tracehook::Tracer::printLine("arg[" + std::to_string(currentIndex) + "]=" + arg);
        if (option_debuggeeName.isOptionSet()) {
            option_debuggeeParms.flagOptionIsSet();
            option_debuggeeParms.setArgument(arg);
            tracehook::Tracer::printLine("IsParm!");
            continue;
        }
        if (!startsWithOptionIndicator(arg) || optionsEnded) {
            option_debuggeeName.flagOptionIsSet();
            option_debuggeeName.setArgument(arg);
        } else if (optionPatternMatches(arg, "h") || optionPatternMatches(arg, "?")) {
            option_h.setArgument(extractOptionH());
        } else if (arg == "--") {
            optionsEnded = true;
        } else {
            if (!inError)
                optionInError = arg;
            inError = true;
        }
    }
}

bool MonitorOptionsParser::readIniInfo(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    if (!in)
        return false;
    std::string jdk = env_jdkhome;
    std::string monitor = env_jmonitorhome;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.rfind("JDK_HOME=", 0) == 0)
            jdk = line.substr(9);
        else if (line.rfind("JDEBUG_HOME=", 0) == 0)
            monitor = line.substr(12);
    }
    if (in.bad())
        return false;
    env_jdkhome = std::move(jdk);
    env_jmonitorhome = std::move(monitor);
    return true;
}

} // namespace tracewin
