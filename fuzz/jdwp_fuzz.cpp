// What a VM sends, as the client reads it: packets cut from the stream in uneven pieces,
// replies to every command the client knows, and composite events between them.
// The input is: five id sizes, then pieces of a selector byte, a two-byte length and data.
// A piece is the data of the next reply, of an event packet, or raw bytes on the stream.
#include "jdwp/debuggee.h"
#include "jdwp/error.h"
#include "jdwp/packet.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>

namespace {

using namespace jdwp;

// The VM's side: answers each command with the next piece the input holds for it.
class InputVm final : public Transport {
public:
    InputVm(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    void write(std::span<const std::uint8_t> bytes, Deadline) override {
        const std::uint8_t* p = bytes.data();
        if (bytes.size() < Packet::HeaderSize) {
            return;
        }
        const std::uint32_t id = (std::uint32_t{p[4]} << 24) | (std::uint32_t{p[5]} << 16) |
                                 (std::uint32_t{p[6]} << 8) | p[7];
        feedUntilReply(id);
    }

    std::optional<std::size_t> read(std::span<std::uint8_t> into, Deadline) override {
        if (out_.empty()) {
            return pos_ >= size_ ? std::optional<std::size_t>(0) : std::nullopt;
        }
        // Uneven pieces, so that packets fall across reads.
        const std::size_t n = std::min({into.size(), out_.size(), std::size_t{1} + step_++ % 13});
        std::copy_n(out_.begin(), n, into.begin());
        out_.erase(out_.begin(), out_.begin() + static_cast<std::ptrdiff_t>(n));
        return n;
    }

    void close() override {}

    void answerHandshake() {
        const std::string_view h = "JDWP-Handshake";
        out_.insert(out_.end(), h.begin(), h.end());
    }

private:
    // Pieces up to and including the next reply go out; the reply carries the id.
    void feedUntilReply(std::uint32_t id) {
        while (pos_ + 3 <= size_) {
            const std::uint8_t selector = data_[pos_];
            std::size_t length = (std::size_t{data_[pos_ + 1]} << 8) | data_[pos_ + 2];
            pos_ += 3;
            length = std::min(length, size_ - pos_);
            const std::span<const std::uint8_t> piece(data_ + pos_, length);
            pos_ += length;
            switch (selector % 4) {
            case 0: {
                const auto reply = encodeReply(id, 0, piece);
                out_.insert(out_.end(), reply.begin(), reply.end());
                return;
            }
            case 1: {
                const auto reply = encodeReply(id, selector, piece);
                out_.insert(out_.end(), reply.begin(), reply.end());
                return;
            }
            case 2: {
                const auto event = encodeCommand(id + 1000, 64, 100, piece);
                out_.insert(out_.end(), event.begin(), event.end());
                break;
            }
            default:
                out_.insert(out_.end(), piece.begin(), piece.end());
                break;
            }
        }
    }

    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
    std::size_t step_ = 0;
    std::deque<std::uint8_t> out_;
};

void drainEvents(Debuggee& d) {
    for (int i = 0; i < 8; ++i) {
        try {
            if (!d.nextEvent(Timeout{0})) {
                return;
            }
        } catch (const ProtocolError&) {
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 5) {
        return 0;
    }
    // Every piece of the start-up is taken from the input too, id sizes included.
    auto vm = std::make_unique<InputVm>(data + 5, size - 5);
    vm->answerHandshake();
    std::unique_ptr<Debuggee> d;
    try {
        AttachOptions options;
        options.requireSourceMaps = false;
        options.connectTimeout = Timeout{0};
        options.commandTimeout = Timeout{0};
        d = std::make_unique<Debuggee>(std::move(vm), "fuzz", options);
    } catch (const Error&) {
        return 0;
    }
    IdSizes sizes;
    sizes.fieldId = data[0] % 8 + 1;
    sizes.methodId = data[1] % 8 + 1;
    sizes.objectId = data[2] % 8 + 1;
    sizes.referenceTypeId = data[3] % 8 + 1;
    sizes.frameId = data[4] % 8 + 1;
    d->connection().setIdSizes(sizes);

    const std::vector<std::function<void()>> calls = {
        [&] { d->vm.version(); },
        [&] { d->vm.classesBySignature("LX;"); },
        [&] { d->vm.allClasses(); },
        [&] { d->vm.capabilitiesNew(); },
        [&] { d->vm.createString("x"); },
        [&] { d->referenceType.signature(1); },
        [&] { d->referenceType.methods(1); },
        [&] { d->referenceType.fields(1); },
        [&] { d->referenceType.getValues(1, std::vector<FieldId>{1, 2}); },
        [&] { d->referenceType.sourceDebugExtension(1); },
        [&] { d->classType.superclass(1); },
        [&] { d->method.lineTable(1, 2); },
        [&] { d->method.variableTable(1, 2); },
        [&] { d->thread.name(1); },
        [&] { d->thread.status(1); },
        [&] { d->thread.frames(1, 0, -1); },
        [&] { d->thread.frameCount(1); },
        [&] { d->stackFrame.getValues(1, 2, std::vector<SlotRequest>{{1, Tag::Int}}); },
        [&] { d->stackFrame.thisObject(1, 2); },
        [&] { d->object.referenceType(1); },
        [&] { d->object.getValues(1, std::vector<FieldId>{3}); },
        [&] { d->object.invokeMethod(1, 2, 3, 4, {}, 0, Timeout{0}); },
        [&] { d->string.value(1); },
        [&] { d->array.length(1); },
        [&] { d->array.getValues(1, 0, 10); },
        [&] { d->eventRequest.set(EventRequest::step(1, StepSize::Line, StepDepth::Over)); },
        [&] { d->vm.idSizes(); },
    };
    for (std::size_t round = 0; d->connection().isOpen() && round < 64; ++round) {
        try {
            calls[round % calls.size()]();
        } catch (const Error&) {
        }
        drainEvents(*d);
    }
    drainEvents(*d);
    return 0;
}
