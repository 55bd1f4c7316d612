#include "core/runtimeconnections.h"

#include "tracehook/compileerrorcodes.h"
#include "tracehook/debugconstants.h"
#include "tracehook/decimal.h"
#include "tracehook/monitorreplies.h"
#include "tracehook/tracer.h"

#include <QHostAddress>

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

RuntimeConnections::RuntimeConnections(RuntimeConnectionEvents& events, QObject* parent)
    : QObject(parent), events_(events) {
    connect(&server_, &QTcpServer::newConnection, this, &RuntimeConnections::acceptPending);
}

RuntimeConnections::~RuntimeConnections() {
    for (auto& [socket, connection] : connections_) {
        if (connection->socket)
            connection->socket->disconnect(this);
    }
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

std::string RuntimeConnections::describe(const QTcpSocket* socket) {
    return "Socket[addr=/" + socket->peerAddress().toString().toStdString() +
           ",port=" + std::to_string(socket->peerPort()) +
           ",localport=" + std::to_string(socket->localPort()) + "]";
}

RuntimeConnections::Connection* RuntimeConnections::find(QTcpSocket* socket) const {
    auto it = connections_.find(socket);
    return it == connections_.end() ? nullptr : it->second.get();
}

void RuntimeConnections::acceptPending() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        trace("restartConnection", "Trying to reconnect the socket...");
        // One record and one reply per step: without this, Nagle's delay stalls every
        // round trip.
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        print("Window server socket = " + describe(socket));
        auto connection = std::make_unique<Connection>(socket, maxRecordBytes_);
        Connection* c = connection.get();
        connections_.emplace(socket, std::move(connection));
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            DeliveryBracket bracket(events_);
            if (Connection* found = find(socket))
                onReadable(found);
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            DeliveryBracket bracket(events_);
            if (Connection* found = find(socket))
                onPeerClosed(found);
        });
        trace("restartConnection", "Socket reconnect successfully!");
        trace("getFilenames", "Waiting for getFilename read()...");
        DeliveryBracket bracket(events_);
        onReadable(c);
    }
}

void RuntimeConnections::onReadable(Connection* c) {
    if (!c->socket)
        return;
    const QByteArray bytes = c->socket->readAll();
    if (!bytes.isEmpty())
        c->framer.append(
            std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    if (c->framer.overflowed()) {
        print("Error: Cannot read from server.\n\tException: a record larger than " +
              std::to_string(maxRecordBytes_) + " bytes was refused and its connection closed");
        endOfPage(c);
        return;
    }
    service(c);
}

void RuntimeConnections::onPeerClosed(Connection* c) {
    c->peerClosed = true;
    if (c->socket && c->socket->bytesAvailable() > 0) {
        onReadable(c);
        if (!find(c->socket))
            return;
    }
    if (c->awaitedRecords > 0) {
        service(c);
    } else if (c != current_) {
        // Nobody waits on it and no command will go to it: let it go now.
        close(c, false);
    }
}

void RuntimeConnections::service(Connection* c) {
    // Each reply written owes exactly one record; records beyond that wait for their reply.
    while (c->awaitedRecords > 0) {
        QPointer<QTcpSocket> socket = c->socket;
        if (!serviceOne(c) || !socket || !find(socket))
            return;
    }
}

bool RuntimeConnections::serviceOne(Connection* c) {
    std::optional<std::string> text = c->framer.next();
    if (!text) {
        if (c->peerClosed)
            endOfPage(c);
        return false;
    }
    --c->awaitedRecords;
    if (tracehook::DebugConstants::getTrace()) // a record may be megabytes: no copy unless traced
        trace("read", "\tReceived string: " + *text);
    if (!c->fresh && text->starts_with(JspSourceInfo::variablesToken)) {
        if (std::optional<tracehook::PageVariables::Parsed> variables =
                tracehook::PageVariables::parse(*text))
            events_.variables(
                std::make_shared<const tracehook::PageVariables::Parsed>(std::move(*variables)));
        else
            print("Warning: Unreadable variables received.\tReceived string: " +
                  text->substr(0, 200));
        answerInPlace(c);
        return true;
    }
    Record record;
    if (std::optional<JspSourceInfo> parsed = tracehook::infoStrParser(*text))
        record = std::make_shared<const JspSourceInfo>(std::move(*parsed));
    else
        print("Warning: Unknown data format received.\tReceived string: " + *text);
    if (!record && !c->fresh) {
        answerInPlace(c);
        return true;
    }
    if (c->fresh) {
        c->fresh = false;
        trace("getFilenames", "Info read in getFilename ...");
        getFilenames(c, record);
    } else {
        trace("clientRead", "Waiting for read...");
        clientRead(c, record);
    }
    return true;
}

void RuntimeConnections::getFilenames(Connection* c, const Record& record) {
    const int type = record ? record->getInfoType() : 0;
    if (type != JspSourceInfo::FILE_INFO && type != JspSourceInfo::COMPILE_ERR_FILE_INFO) {
        trace("getFilenames", "error: wrong info type, expecting file info");
        return;
    }
    curFileIdStr_ = record->getFileIdStr().value_or("");
    current_ = c;
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

void RuntimeConnections::clientRead(Connection* c, const Record& record) {
    if (!record)
        return;
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
        events_.highlight(record);
        break;
    case JspSourceInfo::HTML_INFO:
        events_.html(record);
        break;
    case JspSourceInfo::COMMENT_INFO:
    case JspSourceInfo::CONTINUE_INFO:
        break;
    case JspSourceInfo::SWITCH_FILE_INFO:
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
    resume(events_.continueItem());
}

void RuntimeConnections::endOfPage(Connection* c) {
    c->awaitedRecords = 0;
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
    for (const auto& [id, saved] : saved_) {
        if (saved == c) {
            curFileIdStr_ = std::to_string(id);
            return;
        }
    }
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
    if (!current_ || !current_->socket ||
        current_->socket->state() != QAbstractSocket::ConnectedState) {
        print("Error: Cannot talk to server.");
        return;
    }
    Tracer::dump(kSource, "write", "Writing to server: " + reply);
    const std::string line = reply + "\n";
    current_->socket->write(line.data(), static_cast<qint64>(line.size()));
    current_->socket->flush();
}

void RuntimeConnections::awaitRecord() {
    if (!current_) {
        print("Error: Cannot talk to client.");
        events_.clientExit(nullptr, JspSourceInfo::CLIENT_EXIT_COMMAND);
        return;
    }
    ++current_->awaitedRecords;
    // Nothing received yet: the socket's next signal brings the record.
    if (!current_->framer.hasPartialRecord() && !current_->peerClosed &&
        (!current_->socket || current_->socket->bytesAvailable() == 0))
        return;
    // The record may already be buffered; take it from the event loop, never from inside
    // the command that asked for it.
    QPointer<QTcpSocket> socket = current_->socket;
    QMetaObject::invokeMethod(
        this,
        [this, socket] {
            DeliveryBracket bracket(events_);
            if (Connection* c = socket ? find(socket) : nullptr)
                service(c);
        },
        Qt::QueuedConnection);
}

void RuntimeConnections::resume(std::optional<int> item) {
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
    const bool connected = current_ && current_->socket &&
                           current_->socket->state() == QAbstractSocket::ConnectedState;
    write(MonitorReplies::getSwitchFileStr(curFileIdStr_));
    // The page answers with its position (a "%S" record): take it, so that the next reply
    // answers the record the page is really waiting on.
    if (connected)
        awaitRecord();
}

void RuntimeConnections::terminate() {
    events_.highlight(nullptr);
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

void RuntimeConnections::close(Connection* c, bool sendServerExit) {
    for (auto it = saved_.begin(); it != saved_.end();) {
        it = it->second == c ? saved_.erase(it) : std::next(it);
    }
    if (current_ == c)
        current_ = nullptr;
    QTcpSocket* socket = c->socket;
    if (socket) {
        socket->disconnect(this);
        if (sendServerExit && socket->state() == QAbstractSocket::ConnectedState) {
            const std::string line = MonitorReplies::getServerExitStr() + "\n";
            socket->write(line.data(), static_cast<qint64>(line.size()));
            socket->flush();
        }
        socket->disconnectFromHost();
        socket->deleteLater();
    }
    for (auto it = connections_.begin(); it != connections_.end(); ++it) {
        if (it->second.get() == c) {
            // Callers may still be inside a handler of this connection: free it later.
            std::shared_ptr<Connection> doomed(std::move(it->second));
            connections_.erase(it);
            QMetaObject::invokeMethod(
                this, [doomed] {}, Qt::QueuedConnection);
            break;
        }
    }
}

} // namespace tracewin
