#pragma once

#include "jdwp/commands.h"
#include "jdwp/connection.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace jdwp {

// Commands sent in rounds: every command queued goes out in one write, and the replies are
// handed to their callbacks in the order sent. What the callbacks queue goes out in the
// next round, until a round queues nothing. A round of many commands costs about one round
// trip, where the same commands one after the other cost one each.
//
// A callback gets nullopt when the VM refused its command (an object collected meanwhile,
// a class without the information asked for) or its reply could not be read: reading
// values of a running program is done in good faith. A dead connection or a VM that does
// not answer ends run() with DisconnectedError or TimeoutError.
class Pipeline {
public:
    template <class T> using Then = std::function<void(std::optional<T>)>;

    explicit Pipeline(Connection& connection) : c_(connection) {}
    Pipeline(const Pipeline&) = delete;
    Pipeline& operator=(const Pipeline&) = delete;

    void referenceType(ObjectId object, Then<std::pair<TypeTag, ReferenceTypeId>> then);
    void signature(ReferenceTypeId type, Then<std::string> then);
    void fields(ReferenceTypeId type, Then<std::vector<FieldInfo>> then);
    void superclass(ClassId type, Then<ClassId> then);
    void staticValues(ReferenceTypeId type, std::vector<FieldId> fields,
                      Then<std::vector<Value>> then);
    void objectValues(ObjectId object, std::vector<FieldId> fields, Then<std::vector<Value>> then);
    void stringValue(StringId string, Then<std::string> then);
    void arrayLength(ObjectId array, Then<std::int32_t> then);
    void arrayValues(ObjectId array, std::int32_t first, std::int32_t length,
                     Then<std::vector<Value>> then);
    void variableTable(ReferenceTypeId type, MethodId method, Then<VariableTable> then);
    void frames(ThreadId thread, std::int32_t start, std::int32_t length,
                Then<std::vector<Frame>> then);
    void frameValues(ThreadId thread, FrameId frame, std::vector<SlotRequest> slots,
                     Then<std::vector<Value>> then);
    void thisObject(ThreadId thread, FrameId frame, Then<Value> then);

    // Runs rounds until nothing is queued.
    void run();
    // Rounds and commands sent so far.
    int rounds() const { return rounds_; }
    int commands() const { return commands_; }

private:
    struct Queued {
        Command command;
        std::vector<std::uint8_t> data;
        // The reply's data; nullopt when the VM refused the command.
        std::function<void(std::optional<std::span<const std::uint8_t>>)> handle;
    };

    template <class T, class Read>
    void queue(const Command& command, std::vector<std::uint8_t> data, Read read, Then<T> then);
    void runRound();

    Connection& c_;
    std::vector<Queued> queued_;
    int rounds_ = 0;
    int commands_ = 0;
};

} // namespace jdwp
