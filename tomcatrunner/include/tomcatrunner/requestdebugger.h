#pragma once

#include "jdwp/debuggee.h"
#include "pagerunner/stopsignal.h"
#include "tomcatrunner/filechannel.h"
#include "tomcatrunner/httpexchange.h"
#include "tomcatrunner/invoker.h"
#include "tomcatrunner/objectfields.h"
#include "tomcatrunner/outputtracker.h"
#include "tomcatrunner/pageclasses.h"
#include "tomcatrunner/stopvariables.h"
#include "tomcatrunner/waitingrequests.h"

#include <chrono>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tomcatrunner {

struct RequestOptions {
    int monitorPort = 8082;
    std::chrono::milliseconds connectWait{0};
    // The webapp's folder: a page's JSP file is this folder and the path its source map
    // gives.
    std::filesystem::path webapp;
    std::string httpHost = "127.0.0.1";
    int httpPort = 0;
    // The request to send, "/loop.jsp?user=ann"; empty to debug the next request that
    // comes from elsewhere (a browser) instead.
    std::string target;
    // Only requests whose page's path in the webapp matches this pattern ("/admin/*.jsp")
    // are debugged; empty for any page.
    std::string only;
    int firstFileId = 1;
    // How long the response may take once the page has ended.
    std::chrono::milliseconds responseTimeout{60'000};
    // Where requests from elsewhere that enter a page meanwhile wait for their turn; null:
    // they run on unobserved. The next debugger of a request from elsewhere starts with the
    // one that waited longest.
    WaitingRequests* waiting = nullptr;
    // Asked at each stop: whether the monitor wants the page's variables ("%V" before each
    // "%L"). Empty: never.
    std::function<bool()> sendVariables;
    // The variables show Jasper's and Tomcat's own too: the implicit objects and Jasper's
    // locals, and the attributes Tomcat keeps in the page and application scopes.
    bool allVariables = false;
};

// How a request's debugging ended.
struct RequestResult {
    enum class Kind {
        Ended,          // the page ran to its end ("%E")
        Abnormal,       // an exception left the page ("%A")
        CompileFailed,  // the page did not compile; its errors were shown
        NoPage,         // the response came without any page running (404, ...)
        MonitorClosed,  // the monitor closed the conversation ("%T"); the request ran on
        MonitorLost,    // the monitor went away; the request ran on
        MonitorMissing, // no monitor to connect to
    };
    Kind kind = Kind::Ended;
    std::string message;
    int httpStatus = 0;
    std::string body; // the response body, as received
    std::string page; // the JSP file of the request's first page; empty when none ran
};

// Debugs one request in a Tomcat under JDWP against the monitor. It sends the request (with
// a header of its own, so that its thread is told from other users'), or waits for one from
// elsewhere, catches its thread when it enters a page, and from there steps it line by line: each
// servlet line that the page's source map maps is reported as "%L" on the connection of its
// JSP file, with the output it produced before as "%H", as pagerunner does. An included or
// forwarded page runs as a file of its own; a page that throws ends with "%A". When the
// monitor closes a conversation or goes away, the request runs on to its end unobserved.
// The thread is never left suspended. Other threads that hit a page meanwhile are resumed
// at once.
class RequestDebugger {
public:
    RequestDebugger(jdwp::Debuggee& vm, PageClasses& classes, RequestOptions options,
                    pagerunner::StopSignal& stop);
    ~RequestDebugger();
    RequestDebugger(const RequestDebugger&) = delete;
    RequestDebugger& operator=(const RequestDebugger&) = delete;

    // Runs the request to its end. Throws jdwp::Error when the VM goes away, HttpError when
    // the request cannot be sent.
    RequestResult run();

private:
    // A page of the request that is running: its class, the frame depth its service
    // method runs at, and the files it shows.
    struct PageRun {
        const PageClass* page = nullptr;
        std::uint64_t serial = 0; // tells this run apart from every other of the request
        jdwp::MethodId service = 0;
        int entryDepth = 0;
        bool writerKnown = false;
        bool holdBack = false;
        bool toErrorPage = false; // it caught an exception and forwards to its error page
        std::map<std::string, std::unique_ptr<FileChannel>> files; // by JSP path
        FileChannel* current = nullptr;
        std::map<jdwp::MethodId, int> lastLineIn; // the line reported last in each method
    };
    // Where the request's thread stopped, and why.
    struct Stop {
        jdwp::Location location;
        bool arrivedByStep = false;
        std::optional<EntryPoint> entry;
    };
    // An exception that leaves a page: its text and the Java line it was thrown at.
    struct Abort {
        std::string message;
        std::int32_t javaLine = 0;
    };

    std::optional<jdwp::EventSet> waitForEvent();
    void serviceWhileWaiting(int monitorFd);
    void handle(const jdwp::EventSet& set);
    void handleAfterFinish(const jdwp::EventSet& set);
    void stopAt(const Stop& stop);
    void enterPage(const PageClass& page, jdwp::MethodId service);
    void leavePagesAbove(int depth);
    void endPage(bool lastOfRequest, std::optional<Abort> abort);
    void onException(const jdwp::ExceptionEvent& event);
    std::string describe(const jdwp::Value& exception);
    void reportLine(PageRun& run, const PageClass& cls, int javaLine,
                    const jdwp::SourceLocation& at, const jdwp::Location& stoppedAt);
    // Sends what the page holds at the stop, when the monitor asks for it.
    void sendVariables(FileChannel& ch, const PageRun& run, const jdwp::Location& stoppedAt);
    FileChannel& channel(PageRun& run, const PageClass& cls, const jdwp::SourceLocation& at);
    std::unique_ptr<pagerunner::MonitorConnection> connectMonitor();
    std::string switchRecord(const std::string& fileIdText) const;
    // Runs one exchange with the monitor; false when the monitor closed the conversation or
    // went away, and the request is then no longer observed.
    bool talk(FileChannel& ch, const std::function<void()>& exchange);
    // Whether the thread stopped at a page's start runs the request to debug.
    bool claims(jdwp::ThreadId thread, const jdwp::Location& at);
    bool matchesOnly(const PageClass& page) const;
    // Holds a thread that entered a page for a later debugger; false when it is not held.
    bool holdForLater(jdwp::ThreadId thread, const jdwp::EventSet& set);
    // Follows a request that waited for its turn, from the page entry it waited at.
    void adopt(const WaitingRequests::Waiting& waiting);
    void watchExceptions();
    // Whether the innermost page is forwarding (to another page, or to its error page).
    bool forwarding() const;
    void resolvePaths(jdwp::ThreadId thread, jdwp::ObjectId request);
    bool requestOver() const;
    // The page asked for failed to compile: shows its errors, when the response says so.
    bool showCompileErrors();
    void emitOutput(PageRun& run);
    void sendHtml(FileChannel& ch, const std::string& html);
    void findWriter(PageRun& run);
    void step(jdwp::StepDepth depth);
    void resumeThread();
    void clearRequests();
    // Ends everything the debugger asked of the VM, and lets every thread it stopped go on.
    void release();
    void stopObserving(RequestResult::Kind why, const std::string& message);
    void finishResponse();
    void absorbBody();
    bool responseDone() const;
    std::optional<jdwp::SourceLocation> mapLine(const PageClass& cls, int javaLine) const;
    int frameCount();

    jdwp::Debuggee& vm_;
    PageClasses& classes_;
    RequestOptions options_;
    pagerunner::StopSignal& stop_;
    ObjectFields fields_;
    Invoker invoker_;
    OutputTracker output_;
    // Made at the first stop that sends variables.
    std::unique_ptr<StopVariables> variables_;
    std::string marker_; // the value of the marker header our request carries
    std::unique_ptr<HttpExchange> http_;
    std::u16string body_; // decoded from the response as it arrives
    std::size_t bodyBytesDecoded_ = 0;
    jdwp::ThreadId thread_ = 0;
    bool threadSuspended_ = false;
    jdwp::RequestId stepRequest_ = 0;
    jdwp::StepDepth stepDepth_ = jdwp::StepDepth::Over;
    bool stoppedByStep_ = false; // the thread stands where the step request left it
    jdwp::RequestId exceptionRequest_ = 0;
    std::vector<std::unique_ptr<PageRun>> pages_;
    std::uint64_t pageRuns_ = 0;
    int nextFileId_;
    bool observing_ = true;
    bool finished_ = false;
    bool anyPage_ = false;
    RequestResult result_;
    jdwp::MethodId lastEventMethod_ = 0;
    std::deque<jdwp::EventSet> deferred_; // events of the request's thread seen while waiting
};

} // namespace tomcatrunner
