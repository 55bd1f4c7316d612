#include "pagerunner/pagerunner.h"

#include "pagerunner/monitorconnection.h"
#include "pagerunner/pageexecutor.h"
#include "pagerunner/requestcontext.h"
#include "tracehook/systemproperties.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <unistd.h>

namespace pagerunner {

PageRunner::PageRunner(PageRunnerOptions options) : options_(std::move(options)) {}

PageRunner::~PageRunner() = default;

void PageRunner::stop() {
    stop_.stop();
}

std::string PageRunner::errorMessage() const {
    std::lock_guard lock(mutex_);
    return error_;
}

std::set<std::int32_t> PageRunner::breakpoints(int fileId) const {
    std::lock_guard lock(mutex_);
    return request_ ? request_->breakpoints(fileId) : std::set<std::int32_t>();
}

int PageRunner::fail(int code, const std::string& message) {
    {
        std::lock_guard lock(mutex_);
        error_ = message;
    }
    std::fprintf(stderr, "pagerunner: %s\n", message.c_str());
    std::fflush(stderr);
    return code;
}

std::string PageRunner::defaultWorkDir() {
    return userWorkDir("pagerunner-work");
}

std::string PageRunner::userWorkDir(const std::string& name) {
    namespace fs = std::filesystem;
    // The user's own: a folder of that name in the shared temporary folder may have been
    // made by another user, whom it would then belong to.
    if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache && *cache == '/')
        return (fs::path(cache) / "tracewin" / name).string();
    if (const std::string home = tracehook::SystemProperties::homeDirectory(); !home.empty())
        return (fs::path(home) / ".cache" / "tracewin" / name).string();
    return (fs::temp_directory_path() / (name + "-" + std::to_string(::getuid()))).string();
}

std::unique_ptr<MonitorConnection> PageRunner::connect() {
    const auto deadline = std::chrono::steady_clock::now() + options_.connectWait;
    while (true) {
        try {
            ++connectAttempts_;
            return std::make_unique<MonitorConnection>(options_.port, stop_);
        } catch (const ConnectionError& e) {
            if (e.kind() != ConnectionError::Kind::ConnectFailed ||
                std::chrono::steady_clock::now() >= deadline)
                throw;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

int PageRunner::run() {
    namespace fs = std::filesystem;
    const std::string rootDir = !options_.rootDir.empty()
                                    ? options_.rootDir
                                    : fs::absolute(options_.page).parent_path().string();
    {
        std::lock_guard lock(mutex_);
        error_.clear();
        request_ = std::make_unique<RequestContext>(options_.port, options_.params,
                                                    options_.workDir.empty() ? defaultWorkDir()
                                                                             : options_.workDir,
                                                    rootDir, options_.firstFileId, stop_);
        request_->askForVariablesIn(options_.settingsFile);
    }
    RequestContext& request = *request_;
    try {
        CompiledPage page = request.compiler().compile(options_.page);
        std::unique_ptr<MonitorConnection> connection = connect();
        PageExecutor(page, *connection, request, request.newFileId()).run();
        return ExitCode::Ok;
    } catch (const PageError& e) {
        return fail(ExitCode::PageUnreadable, e.what());
    } catch (const ConnectionError& e) {
        switch (e.kind()) {
        case ConnectionError::Kind::ConnectFailed:
            return fail(ExitCode::ConnectFailed, e.what());
        case ConnectionError::Kind::Stopped:
            return fail(ExitCode::Stopped, e.what());
        case ConnectionError::Kind::Lost:
            return fail(ExitCode::ConnectionLost,
                        std::string(e.what()) + " before the page " + options_.page + " ended");
        case ConnectionError::Kind::Garbage:
            break;
        }
        return fail(ExitCode::ConnectionLost,
                    std::string(e.what()) + " while the page " + options_.page + " was running");
    } catch (const std::exception& e) {
        return fail(ExitCode::ConnectionLost, e.what());
    }
}

} // namespace pagerunner
