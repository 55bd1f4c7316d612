#pragma once

#include "pagerunner/stopsignal.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <ostream>
#include <set>
#include <string>

namespace pagerunner {

class MonitorConnection;
class RequestContext;

// The exit codes of a run.
enum ExitCode : int {
    Ok = 0,                // the page ended, or the monitor closed the connection with "%T"
    UsageError = 1,        // the command line cannot be read
    PageUnreadable = 2,    // the page cannot be read, or its generated file not written
    ConnectFailed = 3,     // no monitor to connect to
    ConnectionLost = 4,    // the monitor went away mid-page, or sent something unreadable
    Stopped = 5,           // stop() was called
    TranslationFailed = 6, // --translate: the page has compile errors
};

struct PageRunnerOptions {
    std::string page;    // the JSP page to run
    int port = 8082;     // the monitor's port on the loopback address
    std::string workDir; // where generated servlets go; defaultWorkDir() when empty
    std::map<std::string, std::string> params; // request parameters
    int firstFileId = 1; // file id of the requested page; included pages count up from it
    // How long to keep trying when no monitor listens yet (for a monitor still starting).
    std::chrono::milliseconds connectWait{0};
    // Folder that include paths starting with "/" are taken from; the page's own folder
    // when empty.
    std::string rootDir;
    // The monitor's debug settings file: while it holds SendVariables=true the pages send
    // their variables before each line. Empty: they never do.
    std::string settingsFile;
};

// Runs one page request against the monitor: compiles the page, connects, and runs it
// and the pages it includes to their end. Built for a background thread: run() blocks
// until the request is over, stop() may be called from any thread to end it at once.
//
//   PageRunner runner(options);
//   std::thread t([&] { rc = runner.run(); });
//   ...
//   runner.stop(); t.join();
class PageRunner {
public:
    explicit PageRunner(PageRunnerOptions options);
    ~PageRunner();
    PageRunner(const PageRunner&) = delete;
    PageRunner& operator=(const PageRunner&) = delete;

    // Returns an ExitCode; the reason for a failure is in errorMessage() and has been
    // written to standard error as one "pagerunner: ..." line.
    int run();
    // Ends a run in progress (or the next one) as soon as possible; run() then returns
    // ExitCode::Stopped.
    void stop();

    std::string errorMessage() const;
    // The work folder used when the options name none: userWorkDir("pagerunner-work").
    static std::string defaultWorkDir();
    // A work folder of the user's own: NAME in $XDG_CACHE_HOME/tracewin, else in
    // ~/.cache/tracewin, else NAME-UID in the system's temporary folder.
    static std::string userWorkDir(const std::string& name);
    // The breakpoints the monitor has set on a page of the request (by file id).
    std::set<std::int32_t> breakpoints(int fileId) const;
    // How many times it has tried to reach the monitor so far (it retries while --wait
    // lasts); safe to read from any thread.
    int connectAttempts() const { return connectAttempts_.load(); }

private:
    int fail(int code, const std::string& message);
    std::unique_ptr<MonitorConnection> connect();

    const PageRunnerOptions options_;
    StopSignal stop_;
    mutable std::mutex mutex_;
    std::string error_;
    std::unique_ptr<RequestContext> request_; // guarded by mutex_ while it is replaced
    std::atomic<int> connectAttempts_{0};
};

} // namespace pagerunner
