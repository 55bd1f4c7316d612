#include "jdwp/debuggee.h"

#include "jdwp/error.h"

namespace jdwp {

std::unique_ptr<Debuggee> Debuggee::attach(const std::string& host, int port,
                                           const AttachOptions& options) {
    auto transport = SocketTransport::connect(host, port, options.connectTimeout);
    const std::string peer = transport->peerName();
    return std::make_unique<Debuggee>(std::move(transport), peer, options);
}

Debuggee::Debuggee(std::unique_ptr<Transport> transport, const std::string& peerName,
                   const AttachOptions& options)
    : connection_(std::move(transport)) {
    try {
        connection_.handshake(options.connectTimeout);
    } catch (const ProtocolError& e) {
        throw ProtocolError(peerName + ": " + e.what());
    } catch (const TimeoutError& e) {
        throw TimeoutError(peerName + ": " + e.what());
    } catch (const DisconnectedError& e) {
        throw DisconnectedError(peerName + ": " + e.what());
    }
    connection_.setCommandTimeout(options.commandTimeout);
    connection_.setIdSizes(vm.idSizes());
    version_ = vm.version();
    capabilities_ = vm.capabilitiesNew();
    if (options.requireSourceMaps) {
        if (!capabilities_.canGetSourceDebugExtension) {
            throw Error("the VM at " + peerName + " (" + version_.vmName +
                        ") cannot give source debug extensions, so JSP lines cannot be told");
        }
        if (!capabilities_.canSetDefaultStratum) {
            throw Error("the VM at " + peerName + " (" + version_.vmName +
                        ") cannot set the default stratum, so Java lines cannot be stepped");
        }
    }
}

} // namespace jdwp
