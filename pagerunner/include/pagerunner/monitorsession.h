#pragma once

#include "tracehook/monitorreplies.h"

#include <cstdint>
#include <functional>
#include <string>

namespace pagerunner {

class MonitorConnection;

// The monitor closed this page's conversation with "%T": the page stops reporting to it.
struct MonitorClosed {};

// One page's side of the conversation with the monitor: sends a record and obeys the
// replies until the one that lets the page go on. A breakpoint reply is recorded and
// answered with a plain continue record, so that setting a breakpoint never moves the
// page; a switch reply is answered with the position record the page runtime gives.
// Every page runtime keeps to the protocol through this one class.
class MonitorSession {
public:
    using Reply = tracehook::MonitorReplies::Reply;

    struct Hooks {
        // A breakpoint set (action 1) or cleared (action 2) on a line of page fileId.
        std::function<void(int fileId, std::int32_t line, std::int32_t action)> breakpoint;
        // The "%S" record that answers a switch to page fileIdText.
        std::function<std::string(const std::string& fileIdText)> switchRecord;
        // Called before each wait for a reply line; it may do other work while no line is
        // there, and returns when one may have arrived (by default at once: the wait then
        // blocks in the connection).
        std::function<void()> awaitInput;
    };

    MonitorSession(MonitorConnection& connection, int fileId, Hooks hooks);

    int fileId() const { return fileId_; }
    const std::string& fileIdText() const { return fileIdText_; }
    MonitorConnection& connection() { return connection_; }

    // Sends one record (the terminator is added here) and obeys replies until a continue
    // comes. Throws MonitorClosed on "%T", ConnectionError when the monitor is gone or
    // sends something unreadable.
    Reply exchange(const std::string& record);
    // Takes the replies that reached this connection while another page of the request
    // ran: a "%T" ends this page (MonitorClosed), breakpoints are kept, anything else is
    // superseded by what the page sends next.
    void drainUnsolicited();
    // Sends the last record of the page, then gives the monitor a moment to answer with
    // its closing "%T" before hanging up, so that nothing it sends is cut off.
    void endWith(const std::string& record);

private:
    void send(const std::string& record);
    Reply awaitReply();

    MonitorConnection& connection_;
    const int fileId_;
    const std::string fileIdText_;
    Hooks hooks_;
};

} // namespace pagerunner
