#pragma once

#include "tracehook/recordframer.h"

#include <chrono>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace pagerunner {

class StopSignal;

// A failure of the conversation with the monitor.
class ConnectionError : public std::runtime_error {
public:
    enum class Kind {
        ConnectFailed, // no monitor listens, or the connection could not be made
        Lost,          // the monitor closed or reset the connection mid-page
        Garbage,       // the monitor sent something that is not a reply
        Stopped,       // the run was stopped from outside
    };
    ConnectionError(Kind kind, const std::string& what) : std::runtime_error(what), kind_(kind) {}
    Kind kind() const { return kind_; }

private:
    Kind kind_;
};

// One TCP connection of the page runtime to the monitor on the loopback address: sends
// records, each in one write with Nagle's algorithm off, and reads reply lines ended by LF
// or CR LF.
class MonitorConnection {
public:
    // Connects to 127.0.0.1:port. Throws ConnectionError (ConnectFailed or Stopped).
    MonitorConnection(int port, StopSignal& stop);
    ~MonitorConnection();
    MonitorConnection(const MonitorConnection&) = delete;
    MonitorConnection& operator=(const MonitorConnection&) = delete;

    // Writes the bytes of one whole record (terminator included).
    void send(std::string_view bytes);
    // The next reply line without its line break. Throws ConnectionError at end of
    // stream, on a reset, for an overlong line, or when the run is stopped.
    std::string readLine();
    // A reply line that has already arrived (or arrives within the wait), else nullopt;
    // end of stream also gives nullopt.
    std::optional<std::string> pollLine(std::chrono::milliseconds wait);
    // Signals the end of what this side sends; the monitor can still answer.
    void shutdownSend();
    // Whether Nagle's algorithm is off on the socket, as it must be.
    bool noDelay() const;
    // Whether reply bytes have been read already (polling the socket would not show them).
    bool hasBufferedInput() const { return lines_.pendingBytes() > 0; }
    // The socket, for poll() beside other inputs.
    int pollHandle() const { return fd_; }

private:
    // Reads more bytes into the framer; false at end of stream.
    bool fill();

    int fd_ = -1;
    StopSignal& stop_;
    tracehook::RecordFramer lines_;
};

} // namespace pagerunner
