#pragma once

#include "core/record.h"
#include "core/runtimechannel.h"
#include "tracehook/jspsourceinfo.h"
#include "tracehook/recordframer.h"

#include <QObject>
#include <QTcpServer>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tracewin {

// What the connections report: the records that start, move and end pages, and the three
// things they need of the main window. The monitor controller turns them into link events.
class RuntimeConnectionEvents {
public:
    virtual ~RuntimeConnectionEvents() = default;
    virtual void startup(const Record& record) = 0;
    // A null record clears the execution mark.
    virtual void highlight(const Record& record) = 0;
    virtual void html(const Record& record) = 0;
    // The page ended: the abnormal-end record when it names its page, else the code
    // (CLIENT_EXIT_COMMAND 8, ABNORMAL_CLIENT_EXIT_COMMAND 9).
    virtual void clientExit(const Record& record, int code) = 0;
    virtual void switchFromServlet(const Record& record) = 0;
    // The page's answer to the user's switch to another of the request's files: where that
    // file waits. Nothing ran, so it is no new stop.
    virtual void switchAnswered(const Record& record) { switchFromServlet(record); }
    // The variables of the stop whose line record comes next.
    virtual void variables(const Variables& variables) = 0;
    // The item of the continue reply that answers a record for which the page does not
    // move: the state of the run in progress.
    virtual std::optional<int> continueItem() const = 0;

    // What the connection may answer by itself as records arrive, so that the page does not
    // wait for the monitor's turn: output and variables records, which always get the
    // continue reply with this item, and line records too while lines is set (a run that
    // goes on by itself, whatever it passes). Nothing by default: every record waits.
    struct AheadAnswer {
        int item = 0;
        bool lines = false;
    };
    virtual std::optional<AheadAnswer> answerAhead() const { return std::nullopt; }
    // A record the connection answered as it arrived: shown as highlight() or html() would
    // show it, and not answered again.
    virtual void passed(const Record& record) {
        if (record->getInfoType() == tracehook::JspSourceInfo::HTML_INFO)
            html(record);
        else
            highlight(record);
    }
    // Whether positions and output answered ahead and taken together may be handed over
    // together (passedTogether): true only while nothing but what the views show hangs on
    // a position, so that the receiver may leave out what a later record replaces. Never by
    // default.
    virtual bool passedMayGoTogether() const { return false; }
    // Two or more positions and outputs of the current page, answered as they arrived and
    // taken together, in order: to be left as passed() of each, one after the other, would
    // leave them. By default passed() of each, but of a position that the next replaces.
    virtual void passedTogether(std::vector<Record> records);

    // Bracket the handling of what a connection delivered (its records, its end): what
    // the events above set off may be held until the outermost bracket closes.
    virtual void beginDelivery() {}
    virtual void endDelivery() {}

    virtual bool isHidden() const = 0;
    virtual bool isMainWindowVisible() const = 0;
    virtual void showMainWindow() = 0;
    virtual void raiseMainWindow() = 0;
};

// The listening socket: each accepted connection's descriptor goes to accepted.
class RuntimeListener : public QTcpServer {
public:
    std::function<void(qintptr)> accepted;

protected:
    void incomingConnection(qintptr socket) override;
};

// The monitor's side of the conversation with page runtimes: the listening socket (on the
// loopback address only), one connection per page request, the reading of records at the
// two read points (a connection's first record, and one record after each resume or
// breakpoint reply) and the replies. Each connection is read on a thread of its own (a
// RuntimeChannel), which also answers what answerAhead() allows; everything else runs on
// the thread that owns the object, driven by its event loop, in the order the records
// came. Records that arrive while none is awaited stay buffered until the next read point.
class RuntimeConnections : public QObject {
    Q_OBJECT
public:
    static constexpr int NOT_ERR = 21;
    // How often the records of a run that goes on by itself are taken (a hundred times a
    // second: more often than the views repaint).
    static constexpr int kAheadPaceMs = 10;

    explicit RuntimeConnections(RuntimeConnectionEvents& events, QObject* parent = nullptr);
    ~RuntimeConnections() override;

    // Opens the listening socket. False, with the reason in error, when it cannot.
    bool listen(int port, std::string* error);
    quint16 listeningPort() const;
    void setMaxRecordBytes(std::size_t bytes) { maxRecordBytes_ = bytes; }

    // Commands from the pages. Those that move the page (resume, prevErr, nextErr,
    // terminate) go to the page of the request that waits for the user: when the user
    // switched to another of its pages, that page is shown again first, as a debugger steps
    // the innermost frame whichever one is looked at.
    void resume(std::optional<int> item);
    void prevErr();
    void nextErr();
    // Breakpoints and switches go to the page shown.
    void setBreakpoint(int line, bool set);
    void switchFile(int fileId);
    // Terminate: clears the mark, closes the waiting page's connection, reports the end (8).
    void terminate();
    // Writes "%T" to every open connection and closes them all.
    void cleanAllClientSocket();
    void cleanClientSocket();

    // Writes one reply line to the current connection.
    void write(const std::string& reply);
    // Hands the current connection what it may answer by itself (answerAhead()), as things
    // stand now: call it whenever what the events' receiver would answer changes.
    void updateAnswerAhead();

    const std::string& curFileIdStr() const { return curFileIdStr_; }
    int errAction() const { return errAction_; }
    std::size_t savedConnectionCount() const { return saved_.size(); }
    std::size_t openConnectionCount() const { return connections_.size(); }
    bool hasCurrentConnection() const { return current_ != nullptr; }
    // Bytes received from the page runtimes since listen(), counting only what their
    // connections have read through: every record owed among them is on its way to this
    // object's thread (posted, when not handled yet).
    std::uint64_t bytesReceived() const;
    // Records, and ends of connections, that their connections hold for this object's thread
    // to take.
    std::size_t recordsWaiting() const;

private:
    struct Connection {
        std::uint64_t id = 0;
        std::unique_ptr<RuntimeChannel> channel;
        bool fresh = true;        // first record not handled yet
        bool switchAsked = false; // its next record answers a switch to another file
    };
    using Incoming = RuntimeChannel::Incoming;

    void accept(qintptr socket);
    // Called on a channel's thread when it has something: the connection's delivery is
    // posted to this object's thread.
    void announce(std::uint64_t id);
    Q_INVOKABLE void deliverAnnounced();
    // Handles what a connection's channel has taken, in order.
    void deliver(std::uint64_t id);
    void handle(Connection* c, Incoming& item);
    // How many items from `from` on the receiver may take together (passedTogether): the
    // positions and output answered ahead that follow each other there.
    std::size_t passedRunAt(const Connection* c, const std::deque<Incoming>& items,
                            std::size_t from) const;
    void handleRecord(Connection* c, Incoming& item);
    void getFilenames(Connection* c, const Record& record);
    void clientRead(Connection* c, const Record& record, bool answered);
    // A record that does not move the page (variables, or one this monitor does not know):
    // the page waits for a reply and gets the continue reply of the run in progress.
    void answerInPlace(Connection* c);
    // The continue reply to the current connection.
    void reply(std::optional<int> item);
    // Switches back to the page that waits for the user when another one is shown.
    void returnToWaitingPage();
    void endOfPage(Connection* c);
    void awaitRecord();
    void makeCurrent(Connection* c);
    // The file id a connection is kept under in the connection table, if any.
    std::optional<int> savedIdOf(const Connection* c) const;
    void saveClientSocketInfo();
    void close(Connection* c, bool sendServerExit);
    Connection* find(std::uint64_t id) const;

    RuntimeConnectionEvents& events_;
    RuntimeListener server_;
    std::map<std::uint64_t, std::unique_ptr<Connection>> connections_;
    std::uint64_t nextId_ = 1;
    std::uint64_t closedBytesReceived_ = 0; // by the connections closed since
    std::mutex announcedMutex_; // guards the two below, shared with the channels' threads
    std::vector<std::uint64_t> announced_;
    bool announcedPosted_ = false;
    Connection* aheadTarget_ = nullptr; // the connection answering ahead, with what
    std::optional<RuntimeChannel::AheadReplies> aheadReplies_;
    std::map<int, Connection*> saved_; // the connection table, by file id
    Connection* current_ = nullptr;
    // Where the request waits for the user: the connection of the last record that did not
    // answer a switch.
    Connection* waiting_ = nullptr;
    std::string curFileIdStr_;
    int errAction_ = NOT_ERR;
    std::size_t maxRecordBytes_ = tracehook::RecordFramer::defaultMaxRecordBytes;
};

} // namespace tracewin
