#pragma once

#include "jdwp/commands.h"
#include "jdwp/connection.h"
#include "jdwp/transport.h"

#include <memory>
#include <string>

namespace jdwp {

struct AttachOptions {
    Timeout connectTimeout{5'000};
    Timeout commandTimeout = Connection::DefaultCommandTimeout;
    // Refuse a VM that cannot give source maps or set the default stratum: a JSP
    // debugger cannot work without either.
    bool requireSourceMaps = true;
};

// A VM under debug: the connection, what the VM said of itself at the start, and its
// command sets by their protocol names (debuggee.thread.frames(...)).
class Debuggee {
public:
    // Connects, exchanges the handshake, asks for the id sizes and the capabilities.
    // Throws DisconnectedError ("cannot connect to 127.0.0.1:8000: connection refused"),
    // ProtocolError (the peer is not a JDWP agent) or Error (a VM without what is needed).
    static std::unique_ptr<Debuggee> attach(const std::string& host, int port,
                                            const AttachOptions& options = {});
    // The same over a transport already connected.
    Debuggee(std::unique_ptr<Transport> transport, const std::string& peerName,
             const AttachOptions& options);
    Debuggee(const Debuggee&) = delete;
    Debuggee& operator=(const Debuggee&) = delete;

    Connection& connection() { return connection_; }
    const Capabilities& capabilities() const { return capabilities_; }
    const VersionInfo& versionInfo() const { return version_; }

    // The next event set, waiting up to the timeout (see Connection::nextEvent).
    std::optional<EventSet> nextEvent(Timeout timeout) { return connection_.nextEvent(timeout); }

private:
    Connection connection_;

public:
    VirtualMachineCommands vm{connection_};
    ReferenceTypeCommands referenceType{connection_};
    ClassTypeCommands classType{connection_};
    MethodCommands method{connection_};
    ThreadReferenceCommands thread{connection_};
    StackFrameCommands stackFrame{connection_};
    ObjectReferenceCommands object{connection_};
    StringReferenceCommands string{connection_};
    ArrayReferenceCommands array{connection_};
    EventRequestCommands eventRequest{connection_};

private:
    Capabilities capabilities_;
    VersionInfo version_;
};

} // namespace jdwp
