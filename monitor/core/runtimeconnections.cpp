#include "core/runtimeconnections.h"

#include "tracehook/compileerrorcodes.h"
#include "tracehook/debugconstants.h"
#include "tracehook/decimal.h"
#include "tracehook/monitorreplies.h"
#include "tracehook/pagevariables.h"
#include "tracehook/tracer.h"

#include <QHostAddress>
#include <QTimer>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace tracewin {
namespace {

using tracehook::JspSourceInfo;
using tracehook::MonitorReplies;
using tracehook::Tracer;

constexpr const char* kSource = "RuntimeConnections";

void print(const std::string& line) {
    Tracer::printLine(line);
}
void trace(std::string_view method, std::string_view message) {
    Tracer::trace(kSource, method, message);
}

// The handling of one delivery from a connection, bracketed for the events' receiver.
class DeliveryBracket {
public:
    explicit DeliveryBracket(RuntimeConnectionEvents& events) : events_(events) {
        events_.beginDelivery();
    }
    ~DeliveryBracket() { events_.endDelivery(); }
    DeliveryBracket(const DeliveryBracket&) = delete;
    DeliveryBracket& operator=(const DeliveryBracket&) = delete;

private:
    RuntimeConnectionEvents& events_;
};

} // namespace

void RuntimeListener::incomingConnection(qintptr socket) {
    if (accepted)
        accepted(socket);
    else
        ::close(static_cast<int>(socket));
}

RuntimeConnections::RuntimeConnections(RuntimeConnectionEvents& events, QObject* parent)
    : QObject(parent), events_(events) {
    server_.accepted = [this](qintptr socket) {
        accept(socket);
    };
}

RuntimeConnections::~RuntimeConnections() {
    // Each channel's thread stops before anything it reports to goes.
    for (auto& [id, connection] : connections_)
        connection->channel->close(std::nullopt);
}

bool RuntimeConnections::listen(int port, std::string* error) {
    print("Opening the ServerSocket");
    // Page runtimes always run on this machine; listening elsewhere would let any host
    // on the network drive the debugger.
    if (port < 0 || port > 65535 ||
        !server_.listen(QHostAddress::LocalHost, static_cast<quint16>(port))) {
        if (error) {
            *error = port < 0 || port > 65535
                         ? "the port " + std::to_string(port) + " is out of range"
                         : server_.errorString().toStdString();
        }
        return false;
    }
    print("Accept on the socket");
    return true;
}

quint16 RuntimeConnections::listeningPort() const {
    return server_.serverPort();
}

RuntimeConnections::Connection* RuntimeConnections::find(std::uint64_t id) const {
    auto it = connections_.find(id);
    return it == connections_.end() ? nullptr : it->second.get();
}

void RuntimeConnections::accept(qintptr socket) {
    trace("restartConnection", "Trying to reconnect the socket...");
    const int fd = static_cast<int>(socket);
    // One record and one reply per step: without this, Nagle's delay stalls every round trip.
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    auto connection = std::make_unique<Connection>();
    const std::uint64_t id = nextId_++;
    connection->id = id;
    connection->channel = std::make_unique<RuntimeChannel>(
        fd, maxRecordBytes_, [this, id] { announce(id); }, tracehook::DebugConstants::getTrace());
    print("Window server socket = " + connection->channel->describe());
    connections_.emplace(id, std::move(connection));
    trace("restartConnection", "Socket reconnect successfully!");
    trace("getFilenames", "Waiting for getFilename read()...");
}

void RuntimeConnections::announce(std::uint64_t id) {
    bool post = false;
    {
        std::lock_guard lock(announcedMutex_);
        announced_.push_back(id);
        post = !std::exchange(announcedPosted_, true);
    }
    // Nothing crosses threads through the event but the wake-up: the ids wait here.
    if (post)
        QMetaObject::invokeMethod(this, "deliverAnnounced", Qt::QueuedConnection);
}

void RuntimeConnections::deliverAnnounced() {
    std::vector<std::uint64_t> ids;
    {
        std::lock_guard lock(announcedMutex_);
        ids.swap(announced_);
        announcedPosted_ = false;
    }
    for (const std::uint64_t id : ids)
        deliver(id);
}

void RuntimeConnections::deliver(std::uint64_t id) {
    Connection* c = find(id);
    if (!c)
        return;
    bool comesBack = false;
    std::deque<Incoming> items = c->channel->take(&comesBack);
    // A run that goes on by itself is taken at a steady pace: the channel announces no more
    // of it meanwhile.
    if (comesBack)
        QTimer::singleShot(kAheadPaceMs, this, [this, id] { deliver(id); });
    for (std::size_t i = 0; i < items.size();) {
        // Handling may close the connection: what it took after that is dropped.
        if (find(id) != c)
            break;
        // Each record's deliveries all run before the next record's: what the views show
        // after it is what they would show had it come alone.
        DeliveryBracket bracket(events_);
        if (const std::size_t run = passedRunAt(c, items, i); run > 1) {
            std::vector<Record> records;
            records.reserve(run);
            for (std::size_t k = i; k < i + run; ++k)
                records.push_back(std::move(items[k].record));
            events_.passedTogether(std::move(records));
            i += run;
            continue;
        }
        handle(c, items[i]);
        ++i;
    }
    updateAnswerAhead();
}

std::size_t RuntimeConnections::passedRunAt(const Connection* c, const std::deque<Incoming>& items,
                                            std::size_t from) const {
    auto passed = [](const Incoming& i) {
        if (i.kind != Incoming::Kind::Arrived || !i.answered || !i.record)
            return false;
        const int type = i.record->getInfoType();
        return type == JspSourceInfo::LINE_INFO || type == JspSourceInfo::HTML_INFO;
    };
    // The connection must be the current one already and answer no switch: handling the
    // records one by one would change nothing but what is shown.
    if (c != current_ || c != waiting_ || c->fresh || c->switchAsked || from + 1 >= items.size() ||
        !passed(items[from]) || !passed(items[from + 1]) || !events_.passedMayGoTogether())
        return 0;
    std::size_t end = from + 2;
    while (end < items.size() && passed(items[end]))
        ++end;
    return end - from;
}

void RuntimeConnectionEvents::passedTogether(std::vector<Record> records) {
    auto isPosition = [](const Record& r) {
        return r->getInfoType() != JspSourceInfo::HTML_INFO;
    };
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (!(isPosition(records[i]) && i + 1 < records.size() && isPosition(records[i + 1])))
            passed(records[i]);
    }
}

void RuntimeConnections::handle(Connection* c, Incoming& item) {
    switch (item.kind) {
    case Incoming::Kind::Arrived:
        handleRecord(c, item);
        break;
    case Incoming::Kind::PeerClosed:
        if (item.atReadPoint)
            endOfPage(c);
        else if (c != current_)
            close(c, false); // nobody waits on it and no command will go to it
        break;
    case Incoming::Kind::Overflowed:
        print("Error: Cannot read from server.\n\tException: a record larger than " +
              std::to_string(maxRecordBytes_) + " bytes was refused and its connection closed");
        endOfPage(c);
        break;
    }
}

void RuntimeConnections::handleRecord(Connection* c, Incoming& item) {
    if (tracehook::DebugConstants::getTrace())
        trace("read", "\tReceived string: " + item.text);
    if (!c->fresh && !item.record && item.text.starts_with(JspSourceInfo::variablesToken)) {
        if (std::optional<tracehook::PageVariables::Parsed> variables =
                tracehook::PageVariables::parse(item.text))
            events_.variables(
                std::make_shared<const tracehook::PageVariables::Parsed>(std::move(*variables)));
        else
            print("Warning: Unreadable variables received.\tReceived string: " +
                  item.text.substr(0, 200));
        if (!item.answered)
            answerInPlace(c);
        else if (c != current_)
            makeCurrent(c);
        return;
    }
    const Record& record = item.record;
    if (!record)
        print("Warning: Unknown data format received.\tReceived string: " + item.text);
    if (!record && !c->fresh) {
        if (!item.answered)
            answerInPlace(c);
        return;
    }
    if (c->fresh) {
        c->fresh = false;
        trace("getFilenames", "Info read in getFilename ...");
        getFilenames(c, record);
    } else {
        trace("clientRead", "Waiting for read...");
        clientRead(c, record, item.answered);
    }
}

void RuntimeConnections::getFilenames(Connection* c, const Record& record) {
    const int type = record ? record->getInfoType() : 0;
    if (type != JspSourceInfo::FILE_INFO && type != JspSourceInfo::COMPILE_ERR_FILE_INFO) {
        trace("getFilenames", "error: wrong info type, expecting file info");
        return;
    }
    curFileIdStr_ = record->getFileIdStr().value_or("");
    current_ = c;
    waiting_ = c;
    saveClientSocketInfo();
    if (type == JspSourceInfo::COMPILE_ERR_FILE_INFO) {
        events_.startup(record);
        if (tracehook::DebugConstants::getTrace())
            print("\tBringing monitor window to the front");
        events_.raiseMainWindow();
        return;
    }
    const bool probe = record->getJspSourceFilename() == std::optional<std::string>(" ") &&
                       record->getJavaSourceFilename() == std::optional<std::string>(" ");
    if (!events_.isMainWindowVisible() && !events_.isHidden()) {
        trace("getFilenames", "Monitor frame: main window");
        events_.showMainWindow();
    }
    if (events_.isHidden())
        return;
    if (probe) {
        cleanClientSocket();
        return;
    }
    events_.startup(record);
    trace("getFilenames", "\tBringing monitor window to the front");
    events_.raiseMainWindow();
}

void RuntimeConnections::clientRead(Connection* c, const Record& record, bool answered) {
    if (!record)
        return;
    // Only a position in a file answers the user's switch: records the page sent before it
    // read the switch come first.
    const bool answersSwitch =
        c->switchAsked && record->getInfoType() == JspSourceInfo::SWITCH_FILE_INFO;
    if (answersSwitch)
        c->switchAsked = false;
    else
        waiting_ = c;
    // The connection that answered is where the request now waits for the user: commands
    // go back to it (after an included page ends, the including page answers).
    if (c != current_)
        makeCurrent(c);
    switch (record->getInfoType()) {
    case JspSourceInfo::FILE_INFO:
    case JspSourceInfo::COMPILE_ERR_FILE_INFO:
        curFileIdStr_ = record->getFileIdStr().value_or(curFileIdStr_);
        events_.startup(record);
        break;
    case JspSourceInfo::LINE_INFO:
    case JspSourceInfo::RESUME_HIGHLIGHT_INFO:
    case JspSourceInfo::COMPILE_ERR_LINE_INFO:
    case JspSourceInfo::HTML_INFO:
        if (answered)
            events_.passed(record);
        else if (record->getInfoType() == JspSourceInfo::HTML_INFO)
            events_.html(record);
        else
            events_.highlight(record);
        break;
    case JspSourceInfo::COMMENT_INFO:
    case JspSourceInfo::CONTINUE_INFO:
        break;
    case JspSourceInfo::SWITCH_FILE_INFO:
        if (answersSwitch)
            events_.switchAnswered(record);
        else
            events_.switchFromServlet(record);
        break;
    case JspSourceInfo::CLIENT_EXIT_COMMAND:
        events_.clientExit(nullptr, JspSourceInfo::CLIENT_EXIT_COMMAND);
        trace("clientRead", "Exiting the current server...");
        cleanClientSocket();
        break;
    case JspSourceInfo::ABNORMAL_CLIENT_EXIT_COMMAND:
        events_.clientExit(record->getFileIdStr() ? record : nullptr,
                           JspSourceInfo::ABNORMAL_CLIENT_EXIT_COMMAND);
        cleanClientSocket();
        break;
    default:
        print("error: wrong info type");
        break;
    }
}

void RuntimeConnections::answerInPlace(Connection* c) {
    if (c != current_)
        makeCurrent(c);
    reply(events_.continueItem());
}

void RuntimeConnections::endOfPage(Connection* c) {
    c->channel->expectNothing();
    if (c->fresh || c != current_) {
        close(c, false);
        return;
    }
    // The page runtime went away at a read point: the page has ended.
    events_.clientExit(nullptr, JspSourceInfo::CLIENT_EXIT_COMMAND);
    cleanClientSocket();
}

void RuntimeConnections::makeCurrent(Connection* c) {
    current_ = c;
    if (const std::optional<int> id = savedIdOf(c))
        curFileIdStr_ = std::to_string(*id);
}

std::optional<int> RuntimeConnections::savedIdOf(const Connection* c) const {
    for (const auto& [id, saved] : saved_) {
        if (saved == c)
            return id;
    }
    return std::nullopt;
}

void RuntimeConnections::saveClientSocketInfo() {
    if (!current_)
        return;
    std::optional<int> id = tracehook::parseDecimalInt32(curFileIdStr_);
    if (!id) {
        print("Warning: The file id \"" + curFileIdStr_ +
              "\" is not a number; its connection is not kept.");
        return;
    }
    saved_[*id] = current_;
}

void RuntimeConnections::write(const std::string& reply) {
    if (!current_ || current_->channel->peerClosed()) {
        print("Error: Cannot talk to server.");
        return;
    }
    Tracer::dump(kSource, "write", "Writing to server: " + reply);
    if (!current_->channel->write(reply))
        print("Error: Cannot talk to server.");
}

void RuntimeConnections::awaitRecord() {
    if (!current_) {
        print("Error: Cannot talk to client.");
        events_.clientExit(nullptr, JspSourceInfo::CLIENT_EXIT_COMMAND);
        return;
    }
    // The record, when it is there, comes through the channel's next delivery: never from
    // inside the command that asked for it.
    current_->channel->expectRecord();
}

void RuntimeConnections::updateAnswerAhead() {
    Connection* target = nullptr;
    std::optional<RuntimeChannel::AheadReplies> replies;
    if (current_ && !current_->fresh && errAction_ == NOT_ERR) {
        if (const std::optional<RuntimeConnectionEvents::AheadAnswer> answer =
                events_.answerAhead()) {
            target = current_;
            replies = RuntimeChannel::AheadReplies{
                MonitorReplies::getResumeReturnStr(curFileIdStr_, answer->item, NOT_ERR),
                answer->lines};
        }
    }
    if (aheadTarget_ && aheadTarget_ != target)
        aheadTarget_->channel->answerAhead(std::nullopt);
    if (target && (target != aheadTarget_ || replies != aheadReplies_))
        target->channel->answerAhead(replies);
    aheadTarget_ = target;
    aheadReplies_ = replies;
}

void RuntimeConnections::resume(std::optional<int> item) {
    returnToWaitingPage();
    reply(item);
}

void RuntimeConnections::returnToWaitingPage() {
    if (!waiting_ || waiting_ == current_ || waiting_->channel->peerClosed())
        return;
    if (const std::optional<int> id = savedIdOf(waiting_))
        switchFile(*id);
}

void RuntimeConnections::reply(std::optional<int> item) {
    // What the channel answers by itself follows the state this reply leaves.
    updateAnswerAhead();
    write(MonitorReplies::getResumeReturnStr(curFileIdStr_, item, errAction_));
    errAction_ = NOT_ERR;
    awaitRecord();
}

void RuntimeConnections::prevErr() {
    errAction_ = tracehook::CompileErrorCodes::PREV_ERR;
    resume(std::nullopt);
}

void RuntimeConnections::nextErr() {
    errAction_ = tracehook::CompileErrorCodes::NEXT_ERR;
    resume(std::nullopt);
}

void RuntimeConnections::setBreakpoint(int line, bool set) {
    updateAnswerAhead();
    const std::string reply = MonitorReplies::getSetBreakptStr(curFileIdStr_, line, set);
    trace("handleLinkEvent", "Sending breakpoint info to servlet: " + reply);
    write(reply);
    awaitRecord();
}

void RuntimeConnections::switchFile(int fileId) {
    curFileIdStr_ = std::to_string(fileId);
    auto it = saved_.find(fileId);
    if (it != saved_.end())
        current_ = it->second;
    const bool connected = current_ && !current_->channel->peerClosed();
    updateAnswerAhead();
    write(MonitorReplies::getSwitchFileStr(curFileIdStr_));
    // The page answers with its position (a "%S" record): take it, so that the next reply
    // answers the record the page is really waiting on.
    if (connected) {
        current_->switchAsked = true;
        awaitRecord();
    }
}

void RuntimeConnections::terminate() {
    events_.highlight(nullptr);
    if (waiting_)
        makeCurrent(waiting_);
    cleanClientSocket();
    events_.clientExit(nullptr, JspSourceInfo::CLIENT_EXIT_COMMAND);
}

void RuntimeConnections::cleanClientSocket() {
    if (!current_)
        return;
    close(current_, true);
    print("Current server socket closed successfully.");
}

void RuntimeConnections::cleanAllClientSocket() {
    while (!saved_.empty()) {
        current_ = saved_.begin()->second;
        cleanClientSocket();
    }
    while (!connections_.empty())
        close(connections_.begin()->second.get(), true);
    current_ = nullptr;
}

std::uint64_t RuntimeConnections::bytesReceived() const {
    std::uint64_t bytes = closedBytesReceived_;
    for (const auto& [id, c] : connections_)
        bytes += c->channel->bytesReceived();
    return bytes;
}

std::size_t RuntimeConnections::recordsWaiting() const {
    std::size_t waiting = 0;
    for (const auto& [id, c] : connections_)
        waiting += c->channel->waitingCount();
    return waiting;
}

void RuntimeConnections::close(Connection* c, bool sendServerExit) {
    for (auto it = saved_.begin(); it != saved_.end();) {
        it = it->second == c ? saved_.erase(it) : std::next(it);
    }
    if (current_ == c)
        current_ = nullptr;
    if (waiting_ == c)
        waiting_ = nullptr;
    if (aheadTarget_ == c) {
        aheadTarget_ = nullptr;
        aheadReplies_.reset();
    }
    const std::string goodbye = MonitorReplies::getServerExitStr();
    c->channel->close(sendServerExit ? std::optional<std::string_view>(goodbye) : std::nullopt);
    closedBytesReceived_ += c->channel->bytesReceived();
    auto it = connections_.find(c->id);
    if (it != connections_.end()) {
        // Callers may still be inside a handler of this connection: free it later.
        std::shared_ptr<Connection> doomed(std::move(it->second));
        connections_.erase(it);
        QMetaObject::invokeMethod(
            this, [doomed] {}, Qt::QueuedConnection);
    }
}

} // namespace tracewin
