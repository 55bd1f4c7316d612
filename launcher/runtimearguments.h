#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tracewin {

// The argument vector handed to the native runtime: its own program name, the
// runtime flags given as "-J" options (without the "-J"), the applet viewer's main
// class, then the user's other arguments, each group in command-line order.
class RuntimeArguments {
public:
    static constexpr const char* PROGRAM_NAME = "nqcjava";
    static constexpr const char* MAIN_CLASS = "sun.applet.AppletViewer";

    // Returns no value when the command line names no URL or file. argv[0] is the
    // launcher's own name and is never passed on. Throws std::bad_alloc when memory
    // runs out.
    static std::optional<RuntimeArguments> fromCommandLine(int argc, const char* const* argv);

    RuntimeArguments(const RuntimeArguments&) = delete;
    RuntimeArguments& operator=(const RuntimeArguments&) = delete;
    RuntimeArguments(RuntimeArguments&&) = default;
    RuntimeArguments& operator=(RuntimeArguments&&) = default;

    // Number of entries in vector(), not counting the null entries after them.
    int count() const { return static_cast<int>(texts_.size()); }
    // Null-terminated vector of modifiable copies; the runtime may write into them.
    char** vector() { return pointers_.data(); }

private:
    RuntimeArguments(std::vector<std::string> texts, std::size_t blockSize);

    std::vector<std::string> texts_;
    std::vector<char*> pointers_;
};

} // namespace tracewin
