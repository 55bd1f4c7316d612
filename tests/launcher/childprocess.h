#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace tracewin::testing {

// What a finished child process left behind.
struct ChildResult {
    // The exit status, or 128 + the signal number when a signal ended it.
    int exitStatus = -1;
    std::string standardOutput;
    std::string standardError;
};

// A fresh directory under the system's temporary folder, removed with its contents.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Runs program with the given argument vector (its name first) and this process's
// environment, less LD_LIBRARY_PATH and with the given variables set, and waits for it.
// Its output streams are captured through files in scratch. The child starts in
// workingDirectory when one is given, else in this process's.
ChildResult runChild(const std::string& program, const std::vector<std::string>& arguments,
                     const std::map<std::string, std::string>& environment,
                     const ScratchDirectory& scratch,
                     const std::filesystem::path& workingDirectory = {});

// The whole content of a file; empty when it cannot be read.
std::string readWholeFile(const std::filesystem::path& file);

} // namespace tracewin::testing
