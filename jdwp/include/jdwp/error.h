#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace jdwp {

// Every failure the library reports is an Error; the subclasses say what went wrong, so
// that a caller can tell a dead VM from a refused command without reading the text.
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The peer sent bytes that break the protocol: a bad length, a count past the packet's
// end, an unknown tag, a handshake that is not JDWP's.
class ProtocolError : public Error {
public:
    using Error::Error;
};

// No answer within the call's timeout. The connection stays usable; a reply that comes
// later is dropped.
class TimeoutError : public Error {
public:
    using Error::Error;
};

// The connection could not be made, or the VM closed or reset it.
class DisconnectedError : public Error {
public:
    using Error::Error;
};

// The VM answered a command with a JDWP error code.
class VmError : public Error {
public:
    VmError(std::uint16_t code, const std::string& what) : Error(what), code_(code) {}
    std::uint16_t code() const { return code_; }

private:
    std::uint16_t code_;
};

// A source map (JSR-45 SMAP) that cannot be read.
class SourceMapError : public Error {
public:
    using Error::Error;
};

} // namespace jdwp
