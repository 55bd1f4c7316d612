#include "pagerunner/monitorsession.h"

#include "pagerunner/monitorconnection.h"
#include "tracehook/decimal.h"
#include "tracehook/pageruntimerecords.h"

#include <chrono>

namespace pagerunner {
namespace {

using tracehook::MonitorReplies;
using tracehook::PageRuntimeRecords;

// How long a finished page waits for the monitor's closing "%T" before it hangs up.
constexpr std::chrono::milliseconds closingWait{5000};

std::string printable(std::string_view line) {
    std::string out;
    for (char c : line.substr(0, 80))
        out += (static_cast<unsigned char>(c) < 0x20) ? '?' : c;
    if (line.size() > 80)
        out += "...";
    return out;
}

} // namespace

MonitorSession::MonitorSession(MonitorConnection& connection, int fileId, Hooks hooks)
    : connection_(connection), fileId_(fileId), fileIdText_(std::to_string(fileId)),
      hooks_(std::move(hooks)) {}

void MonitorSession::send(const std::string& record) {
    connection_.send(PageRuntimeRecords::framed(record));
}

MonitorSession::Reply MonitorSession::exchange(const std::string& record) {
    send(record);
    return awaitReply();
}

MonitorSession::Reply MonitorSession::awaitReply() {
    while (true) {
        if (hooks_.awaitInput && !connection_.hasBufferedInput())
            hooks_.awaitInput();
        const std::string line = connection_.readLine();
        if (line.empty()) // the single-file monitor resumes with an empty line
            return Reply{Reply::Kind::Continue, fileIdText_, std::nullopt, 0, 0};
        Reply reply = MonitorReplies::parse(line);
        switch (reply.kind) {
        case Reply::Kind::Continue:
            return reply;
        case Reply::Kind::Breakpoint:
            if (hooks_.breakpoint)
                hooks_.breakpoint(tracehook::parseDecimalInt32(reply.fileId).value_or(fileId_),
                                  reply.line, reply.action);
            send(PageRuntimeRecords::continueInfo());
            break;
        case Reply::Kind::SwitchFile:
            send(hooks_.switchRecord(reply.fileId));
            break;
        case Reply::Kind::ServerExit:
            throw MonitorClosed{};
        case Reply::Kind::Unknown:
            throw ConnectionError(ConnectionError::Kind::Garbage,
                                  "the monitor sent a reply that cannot be read: \"" +
                                      printable(line) + "\"");
        }
    }
}

void MonitorSession::drainUnsolicited() {
    while (std::optional<std::string> line = connection_.pollLine(std::chrono::milliseconds(0))) {
        Reply reply = MonitorReplies::parse(*line);
        if (reply.kind == Reply::Kind::ServerExit)
            throw MonitorClosed{};
        if (reply.kind == Reply::Kind::Breakpoint && hooks_.breakpoint)
            hooks_.breakpoint(tracehook::parseDecimalInt32(reply.fileId).value_or(fileId_),
                              reply.line, reply.action);
    }
}

void MonitorSession::endWith(const std::string& record) {
    send(record);
    connection_.shutdownSend();
    const auto deadline = std::chrono::steady_clock::now() + closingWait;
    while (std::chrono::steady_clock::now() < deadline) {
        std::optional<std::string> line =
            connection_.pollLine(std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now()));
        if (!line || MonitorReplies::parse(*line).kind == Reply::Kind::ServerExit)
            return;
    }
}

} // namespace pagerunner
