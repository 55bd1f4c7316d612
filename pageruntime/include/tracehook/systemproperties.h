#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tracehook {

// The process-wide table of system properties ("java.home", "server.root", "user.home",
// "user.dir", "os.name", "kwo.version"). Thread-safe; tests reset it.
class SystemProperties {
public:
    static std::optional<std::string> get(std::string_view key);
    static std::string value(std::string_view key, std::string_view fallback = {});
    static void set(std::string_view key, std::string_view value);
    static void clear(std::string_view key);

    // Fills "user.home", "user.dir", "os.name" and, unless set already, "java.home"
    // (the folder of the running program) from the process.
    static void initFromProcess();
    // Removes every property.
    static void reset();

    static constexpr char fileSeparator = '/';
    static constexpr char pathSeparator = ':';

    // The folder that holds the running program, from /proc/self/exe.
    static std::string programDirectory();
    // The user's home folder, from HOME, else from the password database; empty when
    // neither names one. ("user.home" starts as this, and -external may change it.)
    static std::string homeDirectory();
};

} // namespace tracehook
