#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tracewin {

// One option of the command line: whether it was given and the texts that came with it.
class MonitorOptionObject {
public:
    void setArgument(std::string text) { argumentValue.push_back(std::move(text)); }
    const std::vector<std::string>& getArgument() const { return argumentValue; }
    void flagOptionIsSet() { optionIsSet = true; }
    bool isOptionSet() const { return optionIsSet; }

private:
    std::vector<std::string> argumentValue;
    bool optionIsSet = false;
};

// Reads a command line of the form: options, the program to debug, that program's own
// parameters; and an initialisation file naming the Java home and the monitor home.
// Each parser keeps its own position, so several parsers in one process do not disturb
// each other.
class MonitorOptionsParser {
public:
    // fileSeparator decides the option indicators: "-" always, "/" too where the
    // separator is not "/".
    explicit MonitorOptionsParser(std::vector<std::string> args, char fileSeparator = '/');

    bool errorEncounteredInParsing() const { return inError; }
    const std::string& getOptionInError() const { return optionInError; }
    bool isOptionHSet() const { return option_h.isOptionSet(); }
    const std::vector<std::string>& getOptionH() const { return option_h.getArgument(); }
    bool isOptionDebuggeeNameSet() const { return option_debuggeeName.isOptionSet(); }
    const std::vector<std::string>& getOptionDebuggeeName() const {
        return option_debuggeeName.getArgument();
    }
    bool isOptionDebuggeeParmsSet() const { return option_debuggeeParms.isOptionSet(); }
    const std::vector<std::string>& getOptionDebuggeeParms() const {
        return option_debuggeeParms.getArgument();
    }

    // Lines "JDK_HOME=..." and "JDEBUG_HOME=..." set the two homes; other lines are
    // ignored. A file that cannot be read leaves both as they were; returns false then.
    bool readIniInfo(const std::string& fileName);
    const std::string& getEnvJDKHome() const { return env_jdkhome; }
    const std::string& getEnvJMonitorHome() const { return env_jmonitorhome; }

    bool startsWithOptionIndicator(std::string_view text) const;
    // The text starts with an indicator followed by the pattern.
    bool optionPatternMatches(std::string_view text, std::string_view pattern) const;
    // The argument after the current one, or an empty text.
    std::string getNextArg() const;
    static bool isDigit(std::string_view text);

private:
    void parse();
    std::string extractOptionH();

    std::vector<std::string> args;
    std::string optionIndicators;
    std::size_t currentIndex = 0;
    MonitorOptionObject option_debuggeeName;
    MonitorOptionObject option_debuggeeParms;
    MonitorOptionObject option_h;
    std::string env_jdkhome;
    std::string env_jmonitorhome;
    bool inError = false;
    std::string optionInError;
};

} // namespace tracewin
