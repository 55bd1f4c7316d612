// The conversation with a scripted VM: handshake outcomes, replies matched by id, events
// kept in order between replies, timeouts, a VM that goes away, and replies that do not
// fit their command's layout.
#include "fakevm.h"

#include "jdwp/connection.h"
#include "jdwp/debuggee.h"
#include "jdwp/error.h"
#include "jdwp/wire.h"

#include <gtest/gtest.h>

namespace {

using namespace jdwp;
using jdwptest::FakeVm;

constexpr Command Version{1, 1, "VirtualMachine.Version"};
constexpr Command Frames{11, 6, "ThreadReference.Frames"};
constexpr Timeout Short{50};

// A connection over a fake VM that the test keeps a handle on.
struct Rig {
    FakeVm* vm;
    std::unique_ptr<Connection> connection;

    explicit Rig(bool handshake = true) {
        auto fake = std::make_unique<FakeVm>();
        vm = fake.get();
        connection = std::make_unique<Connection>(std::move(fake));
        if (handshake) {
            connection->handshake(Short);
        }
    }
};

std::vector<std::uint8_t> compositeOf(const Event& e) {
    EventSet set;
    set.suspendPolicy = SuspendPolicy::EventThread;
    set.events.push_back(e);
    return encodeCommand(0x4000'0000u, EventCommandSet, CompositeCommand,
                         encodeEventSet(set, IdSizes{}));
}

TEST(ConnectionHandshake, TellsAnAgentFromOtherPeers) {
    {
        Rig rig(false);
        EXPECT_NO_THROW(rig.connection->handshake(Short));
    }
    {
        Rig rig(false);
        rig.vm->handshakeAnswer = "HTTP/1.1 400 Bad Request\r\n\r\n";
        EXPECT_THROW(rig.connection->handshake(Short), ProtocolError);
    }
    {
        Rig rig(false);
        rig.vm->handshakeAnswer.reset();
        EXPECT_THROW(rig.connection->handshake(Short), TimeoutError);
    }
    {
        Rig rig(false);
        rig.vm->handshakeAnswer.reset();
        rig.vm->hangUp();
        EXPECT_THROW(rig.connection->handshake(Short), DisconnectedError);
    }
    {
        // A correct answer that arrives a byte at a time.
        Rig rig(false);
        rig.vm->chunk = 1;
        EXPECT_NO_THROW(rig.connection->handshake(Short));
    }
}

TEST(ConnectionCalls, RepliesMatchTheirCommandsWhateverTheOrderAndTheEventsBetween) {
    Rig rig;
    rig.vm->chunk = 3;
    const auto first = rig.connection->send(Version, {});
    const auto second = rig.connection->send(Frames, {});
    // The VM answers the second command first, with events before and between.
    rig.vm->send(compositeOf(VmStartEvent{0, 11}));
    rig.vm->reply(second, {2});
    rig.vm->send(compositeOf(LocatedEvent{EventKind::Breakpoint, 5, 11, {}}));
    rig.vm->reply(first, {1});

    EXPECT_EQ(rig.connection->awaitReply(first, Version), std::vector<std::uint8_t>{1});
    EXPECT_EQ(rig.connection->awaitReply(second, Frames), std::vector<std::uint8_t>{2});
    ASSERT_TRUE(rig.connection->hasPendingEvent());
    auto start = rig.connection->nextEvent(Short);
    ASSERT_TRUE(start);
    EXPECT_EQ(kindOf(start->events.at(0)), EventKind::VmStart);
    auto hit = rig.connection->nextEvent(Short);
    ASSERT_TRUE(hit);
    EXPECT_EQ(kindOf(hit->events.at(0)), EventKind::Breakpoint);
    EXPECT_EQ(requestIdOf(hit->events.at(0)), 5);
    EXPECT_FALSE(rig.connection->nextEvent(Short));

    // Ids are fresh for every command.
    ASSERT_EQ(rig.vm->commands().size(), 2u);
    EXPECT_NE(rig.vm->commands()[0].id, rig.vm->commands()[1].id);
    EXPECT_EQ(rig.vm->commands()[1].commandSet, 11);
    EXPECT_EQ(rig.vm->commands()[1].command, 6);
}

TEST(ConnectionCalls, AnErrorCodeBecomesAVmErrorNamingCommandAndCode) {
    Rig rig;
    rig.vm->onCommand = [](FakeVm& vm, const Packet& p) { vm.reply(p.id, {}, 10); };
    try {
        rig.connection->call(Frames, {});
        FAIL() << "no error";
    } catch (const VmError& e) {
        EXPECT_EQ(e.code(), 10);
        EXPECT_STREQ(e.what(), "ThreadReference.Frames failed: INVALID_THREAD");
    }
}

TEST(ConnectionCalls, ALateReplyIsDroppedAndTheConnectionGoesOn) {
    Rig rig;
    const auto late = rig.connection->send(Version, {});
    EXPECT_THROW(rig.connection->awaitReply(late, Version, Short), TimeoutError);
    EXPECT_TRUE(rig.connection->isOpen());

    rig.vm->reply(late, {9});
    rig.vm->onCommand = [](FakeVm& vm, const Packet& p) { vm.reply(p.id, {4}); };
    EXPECT_EQ(rig.connection->call(Version, {}), std::vector<std::uint8_t>{4});
}

TEST(ConnectionEnd, AVmThatGoesAwayEndsCallsAndIsReportedOnceAfterItsEvents) {
    Rig rig;
    const auto pending = rig.connection->send(Version, {});
    rig.vm->send(compositeOf(VmDeathEvent{0}));
    rig.vm->hangUp();
    EXPECT_THROW(rig.connection->awaitReply(pending, Version), DisconnectedError);
    EXPECT_FALSE(rig.connection->isOpen());

    auto death = rig.connection->nextEvent(Short);
    ASSERT_TRUE(death);
    EXPECT_EQ(kindOf(death->events.at(0)), EventKind::VmDeath);
    auto gone = rig.connection->nextEvent(Short);
    ASSERT_TRUE(gone);
    ASSERT_EQ(kindOf(gone->events.at(0)), EventKind::VmDisconnected);
    EXPECT_EQ(std::get<VmDisconnectedEvent>(gone->events.at(0)).reason,
              "the VM closed the connection");
    EXPECT_THROW(rig.connection->nextEvent(Short), DisconnectedError);
    EXPECT_THROW(rig.connection->call(Version, {}), DisconnectedError);
}

TEST(ConnectionEnd, APacketWithAnImpossibleLengthEndsTheConnection) {
    Rig rig;
    rig.vm->onCommand = [](FakeVm& vm, const Packet&) {
        vm.send({0xff, 0xff, 0xff, 0xff, 0, 0, 0, 1, 0x80, 0, 0});
    };
    try {
        rig.connection->call(Version, {});
        FAIL() << "no error";
    } catch (const DisconnectedError& e) {
        EXPECT_NE(std::string(e.what()).find("unreadable packet"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(rig.connection->isOpen());
}

TEST(ConnectionEvents, AnUnreadableEventSetDoesNotHideTheNextOne) {
    Rig rig;
    const std::vector<std::uint8_t> unknownKind{1, 0, 0, 0, 1, 77};
    rig.vm->send(encodeCommand(1, EventCommandSet, CompositeCommand, unknownKind));
    rig.vm->send(compositeOf(ThreadEvent{EventKind::ThreadDeath, 3, 4}));
    EXPECT_THROW(rig.connection->nextEvent(Short), ProtocolError);
    auto next = rig.connection->nextEvent(Short);
    ASSERT_TRUE(next);
    EXPECT_EQ(kindOf(next->events.at(0)), EventKind::ThreadDeath);
}

// A VM that answers the start-up commands of an attach.
void answerStartup(FakeVm& vm, const Packet& p, bool sourceMaps) {
    PacketWriter out(IdSizes{});
    if (p.commandSet == 1 && p.command == 7) {
        out.i32(4).i32(4).i32(4).i32(4).i32(4);
    } else if (p.commandSet == 1 && p.command == 1) {
        out.string("Fake VM").i32(17).i32(0).string("17.0.1").string("FakeVM");
    } else if (p.commandSet == 1 && p.command == 17) {
        for (int i = 0; i < 32; ++i) {
            // canGetSourceDebugExtension and canSetDefaultStratum are flags 12 and 14.
            out.boolean(sourceMaps || (i != 12 && i != 14));
        }
    } else {
        vm.reply(p.id, {}, error_code::NotImplemented);
        return;
    }
    vm.reply(p.id, out.take());
}

TEST(DebuggeeStart, ReadsIdSizesAndRefusesAVmWithoutSourceMaps) {
    auto fake = std::make_unique<FakeVm>();
    fake->onCommand = [](FakeVm& vm, const Packet& p) { answerStartup(vm, p, true); };
    FakeVm* vm = fake.get();
    Debuggee debuggee(std::move(fake), "fake:1", AttachOptions{});
    EXPECT_EQ(debuggee.connection().idSizes().objectId, 4);
    EXPECT_EQ(debuggee.versionInfo().vmName, "FakeVM");
    EXPECT_TRUE(debuggee.capabilities().canGetSourceDebugExtension);

    // Commands now use four-byte ids; a frame list is read with them.
    vm->onCommand = [](FakeVm& v, const Packet& p) {
        ASSERT_EQ(p.data.size(), 4u + 4 + 4); // thread id, start, length
        PacketWriter out(IdSizes{4, 4, 4, 4, 4});
        out.i32(2);
        out.frameId(0x10).location({TypeTag::Class, 1, 2, 3});
        out.frameId(0x11).location({TypeTag::Class, 1, 5, 6});
        v.reply(p.id, out.take());
    };
    const auto frames = debuggee.thread.frames(0x77, 0, -1);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[1].frameId, 0x11u);
    EXPECT_EQ(frames[1].location.methodId, 5u);

    auto without = std::make_unique<FakeVm>();
    without->onCommand = [](FakeVm& v, const Packet& p) { answerStartup(v, p, false); };
    try {
        Debuggee refused(std::move(without), "fake:2", AttachOptions{});
        FAIL() << "a VM without source maps was accepted";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("source debug extensions"), std::string::npos);
    }
}

TEST(DebuggeeReplies, RepliesThatDoNotFitTheirCommandAreProtocolErrors) {
    auto fake = std::make_unique<FakeVm>();
    fake->onCommand = [](FakeVm& vm, const Packet& p) { answerStartup(vm, p, true); };
    FakeVm* vm = fake.get();
    Debuggee debuggee(std::move(fake), "fake:1", AttachOptions{});

    const auto answer = [vm](std::vector<std::uint8_t> data) {
        vm->onCommand = [data](FakeVm& v, const Packet& p) { v.reply(p.id, data); };
    };
    answer({0, 0, 0, 5, 'a', 'b', 'c', 'd', 'e', 'x'}); // one byte too many
    EXPECT_THROW(debuggee.string.value(1), ProtocolError);
    answer({0, 0, 0, 5, 'a'}); // the string ends early
    EXPECT_THROW(debuggee.string.value(1), ProtocolError);
    answer({0x7f, 0xff, 0xff, 0xff}); // two billion methods in four bytes
    EXPECT_THROW(debuggee.referenceType.methods(1), ProtocolError);

    // An array region: primitives come untagged, objects tagged.
    answer({'I', 0, 0, 0, 2, 0, 0, 0, 7, 0xff, 0xff, 0xff, 0xff});
    auto ints = debuggee.array.getValues(1, 0, 2);
    ASSERT_EQ(ints.size(), 2u);
    EXPECT_EQ(ints[0].asInt(), 7);
    EXPECT_EQ(ints[1].asInt(), -1);
    answer({'L', 0, 0, 0, 1, 's', 0, 0, 0, 9});
    auto objects = debuggee.array.getValues(1, 0, 1);
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_EQ(objects[0].tag, Tag::String);
    EXPECT_EQ(objects[0].objectId(), 9u);
}

TEST(DebuggeeStart, AnswersThatAreNotJdwpAreRefusedWithThePeersName) {
    auto fake = std::make_unique<FakeVm>();
    fake->handshakeAnswer = "SSH-2.0-OpenSSH\r\n";
    try {
        Debuggee d(std::move(fake), "127.0.0.1:22", AttachOptions{});
        FAIL() << "accepted";
    } catch (const ProtocolError& e) {
        EXPECT_NE(std::string(e.what()).find("127.0.0.1:22"), std::string::npos);
        EXPECT_NE(std::string(e.what()).find("not a JDWP agent"), std::string::npos);
    }
}

} // namespace
