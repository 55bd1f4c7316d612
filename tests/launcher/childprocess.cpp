#include "childprocess.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <stdexcept>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tracewin::testing {

namespace {

std::vector<std::string> childEnvironment(const std::map<std::string, std::string>& changes) {
    std::vector<std::string> result;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view text = *entry;
        const std::string name(text.substr(0, text.find('=')));
        if (name != "LD_LIBRARY_PATH" && !changes.contains(name)) {
            result.emplace_back(text);
        }
    }
    for (const auto& [name, value] : changes) {
        result.push_back(name + "=" + value);
    }
    return result;
}

std::vector<char*> pointersTo(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

// Owns a posix_spawn file-actions object.
class FileActions {
public:
    FileActions() { posix_spawn_file_actions_init(&actions_); }
    ~FileActions() { posix_spawn_file_actions_destroy(&actions_); }
    FileActions(const FileActions&) = delete;
    FileActions& operator=(const FileActions&) = delete;

    void redirect(int descriptor, const std::filesystem::path& file) {
        posix_spawn_file_actions_addopen(&actions_, descriptor, file.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
    }
    void changeDirectory(const std::filesystem::path& directory) {
        posix_spawn_file_actions_addchdir_np(&actions_, directory.c_str());
    }
    const posix_spawn_file_actions_t* get() const { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
};

} // namespace

ScratchDirectory::ScratchDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quillrun-test-XXXXXX");
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a scratch directory");
    }
    path_ = pattern;
}

ScratchDirectory::~ScratchDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

ChildResult runChild(const std::string& program, const std::vector<std::string>& arguments,
                     const std::map<std::string, std::string>& environment,
                     const ScratchDirectory& scratch,
                     const std::filesystem::path& workingDirectory) {
    const std::filesystem::path outFile = scratch.path() / "child.stdout";
    const std::filesystem::path errFile = scratch.path() / "child.stderr";
    FileActions actions;
    actions.redirect(STDOUT_FILENO, outFile);
    actions.redirect(STDERR_FILENO, errFile);
    if (!workingDirectory.empty()) {
        actions.changeDirectory(workingDirectory);
    }

    std::vector<std::string> argumentTexts = arguments;
    std::vector<std::string> environmentTexts = childEnvironment(environment);
    std::vector<char*> argv = pointersTo(argumentTexts);
    std::vector<char*> envp = pointersTo(environmentTexts);

    pid_t pid = 0;
    const int error =
        posix_spawn(&pid, program.c_str(), actions.get(), nullptr, argv.data(), envp.data());
    if (error != 0) {
        throw std::runtime_error("cannot start " + program);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            throw std::runtime_error("cannot wait for " + program);
        }
    }

    ChildResult result;
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.standardOutput = readWholeFile(outFile);
    result.standardError = readWholeFile(errFile);
    return result;
}

std::string readWholeFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace tracewin::testing
