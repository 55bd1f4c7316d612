#include "tomcatrunner/requestdebugger.h"

#include "jdwp/error.h"
#include "jdwp/jaspernames.h"
#include "jdwp/utf8.h"
#include "pagerunner/htmlsplitter.h"
#include "tomcatrunner/compileerrorwalk.h"
#include "tracehook/jspsourceinfo.h"
#include "tracehook/pageruntimerecords.h"
#include "tracehook/pagevariables.h"

#include <algorithm>
#include <cctype>
#include <fnmatch.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <thread>

namespace tomcatrunner {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using pagerunner::ConnectionError;
using pagerunner::MonitorClosed;
using tracehook::PageRuntimeRecords;

namespace {

// Waits are cut into ticks so that a stop from outside is seen.
constexpr auto Tick = 200ms;
// The body of a "%S" record for a file that has reported no line yet.
constexpr const char* NoPosition = "0&0&0&0&0";

std::string readText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// "%%%END" in the last field of a record could end it early.
std::string lastFieldText(std::string text) {
    for (std::size_t at = text.find("%%%END"); at != std::string::npos;
         at = text.find("%%%END", at + 4)) {
        text.insert(at + 3, " ");
    }
    return text;
}

bool charsetIsUtf8(const std::optional<std::string>& contentType) {
    if (!contentType) {
        return false;
    }
    std::string lower = *contentType;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower.find("charset=utf-8") != std::string::npos ||
           lower.find("charset=\"utf-8\"") != std::string::npos;
}

// The header that marks the request this runner sends, and its value's length.
constexpr const char* MarkerHeader = "X-Tracewin-Request";

std::string newMarker() {
    std::ifstream random("/dev/urandom", std::ios::binary);
    unsigned char bytes[12] = {};
    random.read(reinterpret_cast<char*>(bytes), sizeof bytes);
    static constexpr char Hex[] = "0123456789abcdef";
    std::string out;
    for (const unsigned char b : bytes) {
        out += Hex[b >> 4];
        out += Hex[b & 15];
    }
    // Without randomness, the time still tells runs apart.
    out += std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
    return out;
}

} // namespace

RequestDebugger::RequestDebugger(jdwp::Debuggee& vm, PageClasses& classes,
                                 RequestOptions options, pagerunner::StopSignal& stop)
    : vm_(vm), classes_(classes), options_(std::move(options)), stop_(stop), fields_(vm),
      invoker_(vm, fields_), output_(vm, fields_), nextFileId_(options_.firstFileId) {}

RequestDebugger::~RequestDebugger() {
    // Whatever happened, the request's thread goes on, and so does every other.
    try {
        release();
    } catch (const std::exception&) {
    }
}

void RequestDebugger::release() {
    classes_.disarm();
    clearRequests();
    resumeThread();
    // Threads the page breakpoints stopped before they were cleared.
    while (auto set = vm_.nextEvent(0ms)) {
        handleAfterFinish(*set);
    }
}

RequestResult RequestDebugger::run() {
    classes_.arm();
    if (options_.target.empty() && options_.waiting != nullptr) {
        while (thread_ == 0) {
            const auto waiting = options_.waiting->next();
            if (!waiting) {
                break;
            }
            adopt(*waiting);
        }
    }
    if (!options_.target.empty()) {
        marker_ = newMarker();
        http_ = std::make_unique<HttpExchange>(options_.httpHost, options_.httpPort,
                                               options_.target, std::chrono::milliseconds(5000),
                                               HttpExchange::Headers{{MarkerHeader, marker_}});
    }
    while (!finished_) {
        const std::optional<jdwp::EventSet> set = waitForEvent();
        if (!set) {
            break;
        }
        handle(*set);
    }
    release();
    if (!anyPage_ && result_.kind == RequestResult::Kind::Ended) {
        result_.kind = showCompileErrors() ? RequestResult::Kind::CompileFailed
                                           : RequestResult::Kind::NoPage;
    }
    absorbBody();
    if (http_) {
        result_.httpStatus = http_->status();
        result_.body = http_->body();
    }
    return result_;
}

void RequestDebugger::absorbBody() {
    if (!http_) {
        return;
    }
    if (!http_->complete()) {
        try {
            http_->pump(0ms);
        } catch (const HttpError& e) {
            if (result_.message.empty()) {
                result_.message = e.what();
            }
        }
    }
    const std::string& bytes = http_->body();
    if (charsetIsUtf8(http_->header("Content-Type"))) {
        bodyBytesDecoded_ = jdwp::appendUtf16(bytes, bodyBytesDecoded_, body_);
    } else {
        for (; bodyBytesDecoded_ < bytes.size(); ++bodyBytesDecoded_) {
            body_ += static_cast<char16_t>(static_cast<unsigned char>(bytes[bodyBytesDecoded_]));
        }
    }
    output_.setBody(&body_);
}

bool RequestDebugger::responseDone() const {
    if (!http_) {
        return true;
    }
    return http_->complete() || http_->pollHandle() < 0;
}

bool RequestDebugger::requestOver() const {
    // A request from elsewhere is over once its pages have run; ours once its response came.
    return http_ ? responseDone() : anyPage_ || !observing_;
}

std::optional<jdwp::EventSet> RequestDebugger::waitForEvent() {
    for (;;) {
        if (!deferred_.empty()) {
            jdwp::EventSet set = std::move(deferred_.front());
            deferred_.pop_front();
            return set;
        }
        if (vm_.connection().hasPendingEvent()) {
            if (auto set = vm_.nextEvent(0ms)) {
                return set;
            }
        }
        absorbBody();
        // The response is complete, and no page of it is running (none ever ran, or the
        // run is no longer observed): nothing more will come for this request.
        if (requestOver() && (pages_.empty() || !observing_)) {
            return std::nullopt;
        }
        if (stop_.stopped()) {
            throw ConnectionError(ConnectionError::Kind::Stopped, "the run was stopped");
        }
        pollfd fds[2] = {{vm_.connection().pollHandle(), POLLIN, 0}, {-1, POLLIN, 0}};
        if (http_ && !responseDone()) {
            fds[1].fd = http_->pollHandle();
        }
        if (::poll(fds, 2, static_cast<int>(Tick.count())) > 0 && fds[0].revents != 0) {
            if (auto set = vm_.nextEvent(0ms)) {
                return set;
            }
        }
    }
}

void RequestDebugger::serviceWhileWaiting(int monitorFd) {
    // The request's thread is suspended while the monitor decides; meanwhile other threads
    // that hit a page, or prepare one, must not wait for the user.
    for (;;) {
        if (stop_.stopped()) {
            throw ConnectionError(ConnectionError::Kind::Stopped, "the run was stopped");
        }
        for (;;) {
            std::optional<jdwp::EventSet> set = vm_.nextEvent(0ms);
            if (!set) {
                break;
            }
            const auto thread = set->events.empty() ? std::nullopt : jdwp::threadOf(set->events[0]);
            if (thread && *thread == thread_) {
                deferred_.push_back(std::move(*set));
            } else {
                handle(*set);
            }
        }
        pollfd fds[2] = {{monitorFd, POLLIN, 0}, {vm_.connection().pollHandle(), POLLIN, 0}};
        if (::poll(fds, 2, static_cast<int>(Tick.count())) > 0 && fds[0].revents != 0) {
            return;
        }
    }
}

void RequestDebugger::handle(const jdwp::EventSet& set) {
    std::optional<jdwp::ThreadId> thread;
    for (const jdwp::Event& e : set.events) {
        const jdwp::EventKind kind = jdwp::kindOf(e);
        if (kind == jdwp::EventKind::VmDeath || kind == jdwp::EventKind::VmDisconnected) {
            const auto* gone = std::get_if<jdwp::VmDisconnectedEvent>(&e);
            const std::string why =
                "Tomcat's JVM ended" + (gone ? ": " + gone->reason : std::string());
            // The monitor learns it too: every page still open ends there.
            while (!pages_.empty() && observing_) {
                FileChannel* main = pages_.back()->current;
                if (main != nullptr && !main->ended) {
                    talk(*main, [&] {
                        main->session.endWith(PageRuntimeRecords::abnormalExitFreeForm(
                            PageRuntimeRecords::safeField(lastFieldText(why))));
                    });
                    main->ended = true;
                }
                pages_.pop_back();
            }
            pages_.clear();
            throw jdwp::DisconnectedError(why);
        }
        if (const auto* prepared = std::get_if<jdwp::ClassPrepareEvent>(&e)) {
            classes_.prepared(*prepared);
        }
        if (!thread) {
            thread = jdwp::threadOf(e);
        }
    }
    if (!thread) {
        return;
    }
    const bool suspended = set.suspendPolicy != jdwp::SuspendPolicy::None;

    // The request's thread is the first to enter a page's service method.
    if (thread_ == 0 && observing_ && !finished_) {
        for (const jdwp::Event& e : set.events) {
            const auto* hit = std::get_if<jdwp::LocatedEvent>(&e);
            if (hit && hit->kind == jdwp::EventKind::Breakpoint) {
                const auto entry = classes_.entryPoint(hit->requestId);
                if (entry && entry->kind == EntryPoint::Kind::PageService &&
                    claims(*thread, hit->location)) {
                    thread_ = *thread;
                    watchExceptions();
                    break;
                }
            }
        }
    }
    if (*thread != thread_ || !observing_ || finished_) {
        if (suspended && (*thread == thread_ || !holdForLater(*thread, set))) {
            vm_.thread.resume(*thread);
        }
        return;
    }

    threadSuspended_ = suspended;
    Stop stop;
    bool located = false;
    bool byOwnStep = false;
    bool byOther = false;
    for (const jdwp::Event& e : set.events) {
        if (const auto* hit = std::get_if<jdwp::LocatedEvent>(&e)) {
            stop.location = hit->location;
            located = true;
            if (hit->kind == jdwp::EventKind::Breakpoint) {
                if (const auto entry = classes_.entryPoint(hit->requestId)) {
                    stop.entry = entry;
                }
                byOther = true;
            } else if (hit->kind == jdwp::EventKind::SingleStep) {
                stop.arrivedByStep = true;
                byOwnStep = hit->requestId == stepRequest_;
            } else {
                byOther = true;
            }
        } else if (const auto* thrown = std::get_if<jdwp::ExceptionEvent>(&e)) {
            byOther = true;
            onException(*thrown);
        }
    }
    stoppedByStep_ = byOwnStep && !byOther;
    if (located && observing_ && !finished_) {
        stopAt(stop);
    }
    resumeThread();
}

bool RequestDebugger::showCompileErrors() {
    if (!http_ || !http_->complete() || http_->status() != 500) {
        return false;
    }
    const std::vector<JasperError> errors = JasperErrorReader::fromErrorPage(http_->body());
    if (errors.empty()) {
        return false;
    }
    // The page asked for, as a file of the webapp.
    std::string path = options_.target.substr(0, options_.target.find('?'));
    std::string decoded;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (path[i] == '%' && i + 2 < path.size() &&
            std::isxdigit(static_cast<unsigned char>(path[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(path[i + 2]))) {
            decoded += static_cast<char>(std::stoi(path.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            decoded += path[i];
        }
    }
    FailedPage page;
    page.fileId = nextFileId_++;
    page.webapp = options_.webapp;
    page.jspFile = (options_.webapp / fs::path(decoded).relative_path()).lexically_normal();
    // Jasper keeps the servlet of a page whose Java does not compile.
    try {
        std::string cls = jdwp::JasperNames(decoded).className();
        std::replace(cls.begin(), cls.end(), '.', '/');
        const fs::path javaFile = classes_.generatedRoot() / (cls + ".java");
        if (!classes_.generatedRoot().empty() && fs::exists(javaFile)) {
            page.javaFile = javaFile;
        }
    } catch (const jdwp::Error&) {
        // A path Jasper could not have compiled: no servlet to name.
    }
    CompileErrorRecords records;
    try {
        records = buildCompileErrorRecords(page, errors);
    } catch (const std::invalid_argument& e) {
        result_.message = e.what();
        return false;
    }
    auto connection = connectMonitor();
    pagerunner::MonitorSession session(*connection, page.fileId, {});
    try {
        walkCompileErrors(session, records,
                          JasperErrorReader::errorPageMessage(http_->body()).value_or(""));
    } catch (const ConnectionError& e) {
        result_.kind = RequestResult::Kind::MonitorLost;
        result_.message = e.what();
    }
    return true;
}

void RequestDebugger::watchExceptions() {
    exceptionRequest_ =
        vm_.eventRequest.set(jdwp::EventRequest::exception(0, true, true).threadOnly(thread_));
}

bool RequestDebugger::matchesOnly(const PageClass& page) const {
    if (options_.only.empty()) {
        return true;
    }
    const auto file = page.pageFile();
    return file && ::fnmatch(options_.only.c_str(), ("/" + file->path).c_str(), 0) == 0;
}

bool RequestDebugger::holdForLater(jdwp::ThreadId thread, const jdwp::EventSet& set) {
    if (options_.waiting == nullptr || !options_.target.empty()) {
        return false;
    }
    for (const jdwp::Event& e : set.events) {
        const auto* hit = std::get_if<jdwp::LocatedEvent>(&e);
        if (hit == nullptr || hit->kind != jdwp::EventKind::Breakpoint) {
            continue;
        }
        const auto entry = classes_.entryPoint(hit->requestId);
        const PageClass* page = classes_.find(hit->location.classId);
        if (entry && entry->kind == EntryPoint::Kind::PageService && page != nullptr &&
            matchesOnly(*page)) {
            options_.waiting->hold({thread, hit->location, *entry});
            return true;
        }
    }
    return false;
}

void RequestDebugger::adopt(const WaitingRequests::Waiting& waiting) {
    if (!claims(waiting.thread, waiting.location)) {
        vm_.thread.resume(waiting.thread);
        return;
    }
    thread_ = waiting.thread;
    threadSuspended_ = true;
    watchExceptions();
    Stop stop;
    stop.location = waiting.location;
    stop.entry = waiting.entry;
    stoppedByStep_ = false;
    stopAt(stop);
    resumeThread();
}

bool RequestDebugger::claims(jdwp::ThreadId thread, const jdwp::Location& at) {
    const PageClass* page = classes_.find(at.classId);
    if (page == nullptr || !matchesOnly(*page)) {
        return false;
    }
    if (!marker_.empty() || options_.webapp.empty()) {
        // The request object is the service method's first argument.
        const auto frames = vm_.thread.frames(thread, 0, 1);
        if (frames.empty()) {
            return false;
        }
        std::optional<jdwp::ObjectId> request;
        for (const jdwp::Variable& v : vm_.method.variableTable(at.classId, at.methodId).variables) {
            if (v.name == "request") {
                const jdwp::SlotRequest slot{v.slot, jdwp::Tag::Object};
                const auto values =
                    vm_.stackFrame.getValues(thread, frames[0].frameId, std::span(&slot, 1));
                if (!values.empty() && !values[0].isNull()) {
                    request = values[0].objectId();
                }
            }
        }
        if (!request) {
            return false;
        }
        if (!marker_.empty() &&
            invoker_.callString(thread, *request, "getHeader",
                                "(Ljava/lang/String;)Ljava/lang/String;",
                                {MarkerHeader}) != marker_) {
            return false;
        }
        if (options_.webapp.empty()) {
            resolvePaths(thread, *request);
        }
    }
    return true;
}

void RequestDebugger::resolvePaths(jdwp::ThreadId thread, jdwp::ObjectId request) {
    // A server the runner did not start: its webapp's folder and Jasper's work folder are
    // what the webapp's context says they are.
    const auto context = invoker_.callObject(thread, request, "getServletContext",
                                             "()Ljakarta/servlet/ServletContext;");
    if (!context) {
        return;
    }
    if (auto root = invoker_.callString(thread, *context, "getRealPath",
                                        "(Ljava/lang/String;)Ljava/lang/String;", {"/"})) {
        options_.webapp = *root;
    }
    if (auto work = invoker_.callObject(thread, *context, "getAttribute",
                                        "(Ljava/lang/String;)Ljava/lang/Object;",
                                        {"jakarta.servlet.context.tempdir"})) {
        if (auto path = invoker_.callString(thread, *work, "getPath", "()Ljava/lang/String;")) {
            classes_.setGeneratedRoot(*path);
        }
    }
}

void RequestDebugger::resumeThread() {
    if (threadSuspended_) {
        threadSuspended_ = false;
        vm_.thread.resume(thread_);
    }
}

void RequestDebugger::clearRequests() {
    stoppedByStep_ = false;
    if (stepRequest_ != 0) {
        vm_.eventRequest.clear(jdwp::EventKind::SingleStep, stepRequest_);
        stepRequest_ = 0;
    }
    if (exceptionRequest_ != 0) {
        vm_.eventRequest.clear(jdwp::EventKind::Exception, exceptionRequest_);
        exceptionRequest_ = 0;
    }
}

void RequestDebugger::step(jdwp::StepDepth depth) {
    // A step request goes on from where its last step ended: when the thread stopped on it,
    // with the same depth, it steps on as it is. Each new request (and each cleared one)
    // makes the JVM stop every thread for a moment.
    if (stepRequest_ != 0 && stoppedByStep_ && depth == stepDepth_) {
        return;
    }
    if (stepRequest_ != 0) {
        vm_.eventRequest.clear(jdwp::EventKind::SingleStep, stepRequest_);
        stepRequest_ = 0;
    }
    stepRequest_ =
        vm_.eventRequest.set(jdwp::EventRequest::step(thread_, jdwp::StepSize::Line, depth));
    stepDepth_ = depth;
}

int RequestDebugger::frameCount() {
    return vm_.thread.frameCount(thread_);
}

std::optional<jdwp::SourceLocation> RequestDebugger::mapLine(const PageClass& cls,
                                                             int javaLine) const {
    std::optional<jdwp::SourceLocation> at = cls.sourceMap().toSource(javaLine);
    if (!at) {
        return std::nullopt;
    }
    if (at->line < 1) {
        return std::nullopt;
    }
    return at;
}

void RequestDebugger::stopAt(const Stop& stop) {
    const jdwp::Location& loc = stop.location;
    const PageClass* cls = classes_.find(loc.classId);
    if (cls != nullptr && stop.entry && stop.entry->kind == EntryPoint::Kind::PageService) {
        enterPage(*cls, loc.methodId);
        if (!observing_) {
            return;
        }
    }
    if (cls == nullptr) {
        // Outside the pages: a page returned (to Tomcat, or to the page that included it),
        // or a page's call into a library returned into it through library code.
        const int depth = frameCount();
        leavePagesAbove(depth);
        if (pages_.empty() || !observing_ || finished_) {
            return;
        }
        step(jdwp::StepDepth::Out);
        return;
    }
    if (pages_.empty()) {
        return; // page code run outside a page of this request
    }
    PageRun& run = *pages_.back();
    const bool returned = stop.arrivedByStep && loc.methodId != lastEventMethod_;
    lastEventMethod_ = loc.methodId;
    const std::optional<int> javaLine = cls->javaLine(vm_, loc.methodId, loc.index);
    if (javaLine) {
        if (const auto at = mapLine(*cls, *javaLine)) {
            auto last = run.lastLineIn.find(loc.methodId);
            const bool repeat = returned && last != run.lastLineIn.end() && last->second == *javaLine;
            run.lastLineIn[loc.methodId] = *javaLine;
            if (!repeat) {
                reportLine(run, *cls, *javaLine, *at, loc);
                if (!observing_) {
                    return;
                }
            }
        }
    }
    step(jdwp::StepDepth::Over);
}

bool RequestDebugger::forwarding() const {
    if (pages_.empty()) {
        return false;
    }
    const PageRun& run = *pages_.back();
    if (run.toErrorPage) {
        return true;
    }
    // A <jsp:forward> is reported at its own line before it runs.
    const auto& lines = run.page->javaLines();
    const int line = run.current != nullptr ? run.current->javaLine : 0;
    return line >= 1 && static_cast<std::size_t>(line) <= lines.size() &&
           lines[static_cast<std::size_t>(line - 1)].find("_jspx_page_context.forward(") !=
               std::string::npos;
}

void RequestDebugger::enterPage(const PageClass& page, jdwp::MethodId service) {
    anyPage_ = true;
    if (forwarding()) {
        // What the pages so far hold is discarded: only the page forwarded to writes now.
        output_.discardWriters();
    }
    auto run = std::make_unique<PageRun>();
    run->page = &page;
    run->serial = ++pageRuns_;
    run->service = service;
    run->entryDepth = frameCount();
    // Output a forward, or the forward to an error page, may discard is shown only once it
    // has left the page's writer.
    run->holdBack = page.javaSourceContains("_jspx_page_context.forward(") || page.hasErrorPage();
    lastEventMethod_ = service;
    pages_.push_back(std::move(run));
    // The page's own file opens at once, so that even a page without a single mapped line
    // shows up, with its output.
    if (const auto file = page.pageFile()) {
        if (result_.page.empty()) {
            result_.page = (options_.webapp / file->path).lexically_normal().string();
        }
        channel(*pages_.back(), page, jdwp::SourceLocation{*file, 0});
    }
}

FileChannel& RequestDebugger::channel(PageRun& run, const PageClass& cls,
                                      const jdwp::SourceLocation& at) {
    const std::string key = at.file.path;
    auto it = run.files.find(key);
    if (it != run.files.end()) {
        FileChannel& ch = *it->second;
        if (&ch != run.current) {
            // Back in a file shown before: the monitor shows it again at its position.
            run.current = &ch;
            const std::optional<std::string> body =
                ch.javaLine != 0 ? ch.table->getResumeHighlightInfoStr(ch.session.fileId(),
                                                                       ch.javaLine)
                                 : std::nullopt;
            talk(ch, [&] {
                ch.session.drainUnsolicited();
                ch.session.exchange(PageRuntimeRecords::positioned(
                    tracehook::JspSourceInfo::switchFileToken, ch.session.fileIdText(),
                    body.value_or(NoPosition)));
            });
        }
        return ch;
    }
    const fs::path jspPath = (options_.webapp / at.file.path).lexically_normal();
    auto connection = connectMonitor();
    const int fileId = nextFileId_++;
    pagerunner::MonitorSession::Hooks hooks;
    hooks.switchRecord = [this](const std::string& id) { return switchRecord(id); };
    hooks.awaitInput = [this, fd = connection ? connection->pollHandle() : -1] {
        serviceWhileWaiting(fd);
    };
    auto created = std::make_unique<FileChannel>(std::move(connection), fileId, std::move(hooks),
                                                 jspPath.string(), cls.javaFile().string(),
                                                 readText(jspPath));
    FileChannel& ch = *created;
    run.files.emplace(key, std::move(created));
    run.current = &ch;
    talk(ch, [&] { ch.session.exchange(*ch.table->getFileInfoStr(fileId, false)); });
    return ch;
}

std::unique_ptr<pagerunner::MonitorConnection> RequestDebugger::connectMonitor() {
    const auto deadline = std::chrono::steady_clock::now() + options_.connectWait;
    for (;;) {
        try {
            return std::make_unique<pagerunner::MonitorConnection>(options_.monitorPort, stop_);
        } catch (const ConnectionError& e) {
            if (e.kind() != ConnectionError::Kind::ConnectFailed ||
                std::chrono::steady_clock::now() >= deadline) {
                throw;
            }
        }
        std::this_thread::sleep_for(50ms);
    }
}

std::string RequestDebugger::switchRecord(const std::string& fileIdText) const {
    for (const auto& run : pages_) {
        for (const auto& [path, ch] : run->files) {
            if (ch->session.fileIdText() == fileIdText && ch->javaLine != 0) {
                if (auto body = ch->table->getResumeHighlightInfoStr(ch->session.fileId(),
                                                                     ch->javaLine)) {
                    return PageRuntimeRecords::positioned(tracehook::JspSourceInfo::switchFileToken,
                                                          fileIdText, *body);
                }
            }
        }
    }
    return PageRuntimeRecords::positioned(tracehook::JspSourceInfo::switchFileToken, fileIdText,
                                          NoPosition);
}

bool RequestDebugger::talk(FileChannel& ch, const std::function<void()>& exchange) {
    if (!observing_ || ch.ended) {
        return false;
    }
    try {
        exchange();
        return true;
    } catch (const MonitorClosed&) {
        ch.ended = true;
        stopObserving(RequestResult::Kind::MonitorClosed, "");
    } catch (const ConnectionError& e) {
        ch.ended = true;
        if (e.kind() == ConnectionError::Kind::Stopped) {
            throw;
        }
        stopObserving(RequestResult::Kind::MonitorLost, e.what());
    }
    return false;
}

void RequestDebugger::reportLine(PageRun& run, const PageClass& cls, int javaLine,
                                 const jdwp::SourceLocation& at, const jdwp::Location& stoppedAt) {
    findWriter(run);
    emitOutput(run);
    if (!observing_) {
        return;
    }
    // Jasper maps its catch block to the line after a final line break, which the file
    // does not have.
    if (const auto known = run.files.find(at.file.path);
        known != run.files.end() && at.line > known->second->spans.lineCount()) {
        return;
    }
    FileChannel& ch = channel(run, cls, at);
    if (!observing_ || at.line > ch.spans.lineCount()) {
        return;
    }
    const auto& lines = cls.javaLines();
    const std::string statement =
        javaLine >= 1 && static_cast<std::size_t>(javaLine) <= lines.size()
            ? lines[static_cast<std::size_t>(javaLine - 1)]
            : std::string();
    const pagerunner::JspSpan span = ch.spans.find(statement, at.line);
    ch.table->add(javaLine, span.start.line, span.start.column, span.end.line, span.end.column);
    ch.javaLine = javaLine;
    sendVariables(ch, run, stoppedAt);
    if (!observing_ || ch.ended) {
        return;
    }
    talk(ch, [&] { ch.session.exchange(*ch.table->getLineInfoStr(ch.session.fileId(), javaLine)); });
}

void RequestDebugger::sendVariables(FileChannel& ch, const PageRun& run,
                                    const jdwp::Location& stoppedAt) {
    if (!options_.sendVariables || !options_.sendVariables()) {
        return;
    }
    if (!variables_) {
        variables_ = std::make_unique<StopVariables>(vm_, options_.allVariables);
    }
    const std::string record = tracehook::PageVariables::record(
        ch.session.fileIdText(),
        variables_->read({thread_, stoppedAt, run.serial, run.page->typeId()}));
    talk(ch, [&] { ch.session.exchange(record); });
}

void RequestDebugger::findWriter(PageRun& run) {
    if (run.writerKnown) {
        return;
    }
    // The page's writer is the local "out" of its service method, set a few lines in.
    const auto frames = vm_.thread.frames(thread_, 0, 1);
    if (frames.empty() || frames[0].location.methodId != run.service) {
        return;
    }
    const auto table = vm_.method.variableTable(run.page->typeId(), run.service);
    for (const jdwp::Variable& v : table.variables) {
        if (v.name == "out" && v.inScopeAt(frames[0].location.index)) {
            const jdwp::SlotRequest slot{v.slot, jdwp::Tag::Object};
            const auto values = vm_.stackFrame.getValues(thread_, frames[0].frameId,
                                                         std::span(&slot, 1));
            if (!values.empty() && !values[0].isNull()) {
                output_.pushWriter(values[0].objectId(), run.holdBack);
                run.writerKnown = true;
            }
            return;
        }
    }
}

void RequestDebugger::emitOutput(PageRun& run) {
    if (!observing_ || run.current == nullptr) {
        return;
    }
    absorbBody();
    sendHtml(*run.current, output_.takeNew());
}

void RequestDebugger::sendHtml(FileChannel& ch, const std::string& html) {
    for (std::string_view piece : pagerunner::HtmlSplitter::split(html)) {
        if (!talk(ch, [&] {
                ch.session.exchange(PageRuntimeRecords::html(ch.session.fileIdText(), piece));
            })) {
            return;
        }
    }
}

void RequestDebugger::leavePagesAbove(int depth) {
    bool left = false;
    while (!pages_.empty() && depth < pages_.back()->entryDepth && !finished_) {
        endPage(pages_.size() == 1, std::nullopt);
        left = true;
    }
    if (left && !pages_.empty() && observing_ && pages_.back()->current != nullptr) {
        // Back in the page that included the one that ended: where it stands.
        FileChannel& ch = *pages_.back()->current;
        talk(ch, [&] {
            ch.session.drainUnsolicited();
            ch.session.exchange(switchRecord(ch.session.fileIdText()));
        });
    }
}

void RequestDebugger::endPage(bool lastOfRequest, std::optional<Abort> abort) {
    PageRun& run = *pages_.back();
    if (run.writerKnown) {
        output_.popWriter();
    }
    FileChannel* main = run.current;
    if (lastOfRequest) {
        finishResponse();
    }
    if (observing_ && main != nullptr) {
        if (lastOfRequest && http_) {
            sendHtml(*main, output_.takeRest(body_));
        } else {
            sendHtml(*main, output_.takeNew());
        }
    }
    for (auto& [path, ch] : run.files) {
        if (ch.get() == main || ch->ended || !observing_) {
            continue;
        }
        talk(*ch, [&] { ch->session.endWith(PageRuntimeRecords::clientExit()); });
        ch->ended = true;
    }
    if (main != nullptr && !main->ended && observing_) {
        std::string record = PageRuntimeRecords::clientExit();
        if (abort) {
            const auto at = abort->javaLine != 0 ? main->table->getJspLineSourceInfo(abort->javaLine)
                                                 : std::nullopt;
            const std::string message = lastFieldText(abort->message);
            record = at ? PageRuntimeRecords::abnormalExit(main->session.fileIdText(), *at, message)
                        : PageRuntimeRecords::abnormalExitFreeForm(
                              PageRuntimeRecords::safeField(message));
        }
        talk(*main, [&] { main->session.endWith(record); });
        main->ended = true;
    }
    pages_.pop_back();
    if (lastOfRequest) {
        finished_ = true;
    }
}

void RequestDebugger::finishResponse() {
    // The page is done: the thread runs on unobserved, and the response comes complete.
    classes_.disarm();
    clearRequests();
    resumeThread();
    const auto deadline = std::chrono::steady_clock::now() + options_.responseTimeout;
    while (!responseDone() && std::chrono::steady_clock::now() < deadline) {
        while (auto set = vm_.nextEvent(0ms)) {
            handleAfterFinish(*set);
        }
        absorbBody();
        if (responseDone()) {
            break;
        }
        pollfd fds[2] = {{vm_.connection().pollHandle(), POLLIN, 0},
                         {http_ ? http_->pollHandle() : -1, POLLIN, 0}};
        ::poll(fds, 2, static_cast<int>(Tick.count()));
        if (stop_.stopped()) {
            throw ConnectionError(ConnectionError::Kind::Stopped, "the run was stopped");
        }
    }
    absorbBody();
}

void RequestDebugger::handleAfterFinish(const jdwp::EventSet& set) {
    // Nothing of the request is followed any more: every thread goes on.
    const bool wasFinished = finished_;
    finished_ = true;
    handle(set);
    finished_ = wasFinished;
}

void RequestDebugger::stopObserving(RequestResult::Kind why, const std::string& message) {
    if (!observing_) {
        return;
    }
    observing_ = false;
    result_.kind = why;
    result_.message = message;
    classes_.disarm();
    clearRequests();
    resumeThread();
}

void RequestDebugger::onException(const jdwp::ExceptionEvent& event) {
    if (!event.catchLocation || pages_.empty()) {
        return;
    }
    const PageClass* catcher = classes_.find(event.catchLocation->classId);
    if (catcher == nullptr) {
        return;
    }
    // Only the catch block every page's service method ends with lets an exception leave
    // the page; a page's own try and catch keeps it.
    const auto catchLine =
        catcher->javaLine(vm_, event.catchLocation->methodId, event.catchLocation->index);
    const auto& lines = catcher->javaLines();
    bool leavesPage = false;
    if (catchLine) {
        for (int l = *catchLine - 1; l <= *catchLine + 1; ++l) {
            if (l >= 1 && static_cast<std::size_t>(l) <= lines.size() &&
                lines[static_cast<std::size_t>(l - 1)].find("catch (java.lang.Throwable t)") !=
                    std::string::npos) {
                leavesPage = true;
            }
        }
    } else {
        leavesPage = true;
    }
    if (!leavesPage) {
        return;
    }
    if (catcher->hasErrorPage()) {
        // That block forwards to the error page, and the page ends normally.
        if (!pages_.empty() && pages_.back()->page == catcher) {
            pages_.back()->toErrorPage = true;
        }
        return;
    }
    auto owner = std::find_if(pages_.rbegin(), pages_.rend(),
                              [&](const auto& run) { return run->page == catcher; });
    if (owner == pages_.rend()) {
        return;
    }
    Abort abort;
    abort.message = describe(event.exception);
    // Where it was thrown: the innermost frame in the page's class.
    for (const jdwp::Frame& f : vm_.thread.frames(thread_, 0, -1)) {
        if (f.location.classId != catcher->typeId()) {
            continue;
        }
        if (const auto javaLine = catcher->javaLine(vm_, f.location.methodId, f.location.index)) {
            if (const auto at = mapLine(*catcher, *javaLine); at && (*owner)->current) {
                FileChannel& ch = *(*owner)->current;
                const pagerunner::JspSpan span = ch.spans.find(
                    static_cast<std::size_t>(*javaLine) <= lines.size()
                        ? lines[static_cast<std::size_t>(*javaLine - 1)]
                        : std::string(),
                    at->line);
                ch.table->add(*javaLine, span.start.line, span.start.column, span.end.line,
                              span.end.column);
                abort.javaLine = *javaLine;
            }
        }
        break;
    }
    if (abort.javaLine == 0 && (*owner)->current) {
        abort.javaLine = (*owner)->current->javaLine;
    }
    // That page ends here, with any page it ran.
    const std::size_t keep = static_cast<std::size_t>(pages_.rend() - owner) - 1;
    while (pages_.size() > keep + 1) {
        endPage(false, abort);
    }
    if (observing_) {
        findWriter(*pages_.back());
    }
    const bool last = pages_.size() == 1;
    if (last) {
        result_.kind = RequestResult::Kind::Abnormal;
        result_.message = abort.message;
    }
    endPage(last, abort);
    if (!finished_ && observing_) {
        // The exception goes on into the page that ran this one.
        step(jdwp::StepDepth::Out);
    }
}

std::string RequestDebugger::describe(const jdwp::Value& exception) {
    std::string text;
    try {
        text = fields_.className(exception.objectId());
        const jdwp::Value message = fields_.read(exception.objectId(), "detailMessage");
        if (!message.isNull()) {
            text += ": " + vm_.string.value(message.objectId());
        }
    } catch (const jdwp::DisconnectedError&) {
        throw;
    } catch (const jdwp::Error&) {
        if (text.empty()) {
            text = "an exception";
        }
    }
    return text;
}

} // namespace tomcatrunner
