#include "fakevm.h"

#include "jdwp/error.h"

#include <algorithm>

namespace jdwptest {

void FakeVm::send(const std::vector<std::uint8_t>& bytes) {
    toDebugger_.insert(toDebugger_.end(), bytes.begin(), bytes.end());
}

void FakeVm::reply(std::uint32_t id, const std::vector<std::uint8_t>& data,
                   std::uint16_t errorCode) {
    send(jdwp::encodeReply(id, errorCode, data));
}

void FakeVm::write(std::span<const std::uint8_t> bytes, jdwp::Deadline) {
    if (closedByDebugger_ || hungUp_) {
        throw jdwp::DisconnectedError("the fake VM is gone");
    }
    fromDebugger_.insert(fromDebugger_.end(), bytes.begin(), bytes.end());
    if (!handshakeDone_) {
        constexpr std::size_t handshakeSize = 14;
        if (fromDebugger_.size() < handshakeSize) {
            return;
        }
        fromDebugger_.erase(fromDebugger_.begin(), fromDebugger_.begin() + handshakeSize);
        handshakeDone_ = true;
        if (handshakeAnswer) {
            send(std::vector<std::uint8_t>(handshakeAnswer->begin(), handshakeAnswer->end()));
        }
    }
    ++writes_;
    framer_.feed(fromDebugger_);
    fromDebugger_.clear();
    while (auto packet = framer_.next()) {
        commands_.push_back(*packet);
        if (onCommand) {
            onCommand(*this, *packet);
        }
    }
}

std::optional<std::size_t> FakeVm::read(std::span<std::uint8_t> into, jdwp::Deadline) {
    if (toDebugger_.empty()) {
        if (hungUp_ || closedByDebugger_) {
            return 0;
        }
        return std::nullopt;
    }
    const std::size_t n = std::min({into.size(), chunk, toDebugger_.size()});
    std::copy_n(toDebugger_.begin(), n, into.begin());
    toDebugger_.erase(toDebugger_.begin(), toDebugger_.begin() + static_cast<std::ptrdiff_t>(n));
    return n;
}

} // namespace jdwptest
