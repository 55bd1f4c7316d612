// Commands sent in rounds against a scripted VM: one write a round, replies handed over in
// the order sent whatever order they come in, refusals and unreadable replies as nothing,
// callbacks that queue the next round, and a VM that stops answering mid-round.
#include "fakevm.h"
#include "jdwp/connection.h"
#include "jdwp/error.h"
#include "jdwp/pipeline.h"
#include "jdwp/wire.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using namespace jdwp;
using jdwptest::FakeVm;
using ::testing::ElementsAre;

constexpr Timeout Short{50};

std::vector<std::uint8_t> stringReply(const std::string& text) {
    PacketWriter out{IdSizes{}};
    out.string(text);
    return out.take();
}

// A connection over a fake VM that answers StringReference.Value with "s" and the object id,
// and ArrayReference.Length with the object id, unless the test scripts otherwise.
struct Rig {
    FakeVm* vm;
    std::unique_ptr<Connection> connection;
    std::unique_ptr<Pipeline> pipeline;

    Rig() {
        auto fake = std::make_unique<FakeVm>();
        vm = fake.get();
        vm->onCommand = [](FakeVm& v, const Packet& p) {
            PacketReader in(p.data, IdSizes{});
            const ObjectId id = in.objectId();
            if (p.commandSet == 10) {
                v.reply(p.id, stringReply("s" + std::to_string(id)));
            } else {
                PacketWriter out{IdSizes{}};
                out.i32(static_cast<std::int32_t>(id));
                v.reply(p.id, out.take());
            }
        };
        connection = std::make_unique<Connection>(std::move(fake));
        connection->handshake(Short);
        connection->setCommandTimeout(Short);
        pipeline = std::make_unique<Pipeline>(*connection);
    }
};

TEST(Pipeline, ARoundGoesOutInOneWriteAndItsRepliesComeBackInOrder) {
    Rig rig;
    // Replies to the round come back last command first.
    std::vector<Packet> held;
    rig.vm->onCommand = [&held](FakeVm& vm, const Packet& p) {
        held.push_back(p);
        if (held.size() == 3) {
            for (auto it = held.rbegin(); it != held.rend(); ++it) {
                PacketReader in(it->data, IdSizes{});
                vm.reply(it->id, stringReply("s" + std::to_string(in.objectId())));
            }
            held.clear();
        }
    };
    std::vector<std::string> got;
    for (ObjectId id : {1, 2, 3}) {
        rig.pipeline->stringValue(id, [&got](auto text) { got.push_back(text.value_or("?")); });
    }
    const int writesBefore = rig.vm->writes();
    rig.pipeline->run();
    EXPECT_THAT(got, ElementsAre("s1", "s2", "s3"));
    EXPECT_EQ(rig.vm->writes() - writesBefore, 1);
    EXPECT_EQ(rig.pipeline->rounds(), 1);
    EXPECT_EQ(rig.pipeline->commands(), 3);
}

TEST(Pipeline, WhatACallbackQueuesGoesOutInTheNextRound) {
    Rig rig;
    std::vector<std::string> got;
    rig.pipeline->arrayLength(7, [&](auto length) {
        ASSERT_TRUE(length);
        // Two commands that depend on the first reply, sent together.
        for (ObjectId id : {ObjectId(*length) + 1, ObjectId(*length) + 2}) {
            rig.pipeline->stringValue(id, [&got](auto text) { got.push_back(*text); });
        }
    });
    rig.pipeline->run();
    EXPECT_THAT(got, ElementsAre("s8", "s9"));
    EXPECT_EQ(rig.pipeline->rounds(), 2);
}

TEST(Pipeline, ARefusedOrUnreadableReplyIsNothingAndTheOthersGoOn) {
    Rig rig;
    rig.vm->onCommand = [](FakeVm& vm, const Packet& p) {
        PacketReader in(p.data, IdSizes{});
        const ObjectId id = in.objectId();
        if (id == 1) {
            vm.reply(p.id, {}, error_code::InvalidObject);
        } else if (id == 2) {
            vm.reply(p.id, {0, 0, 0, 9, 'x'}); // a string longer than the reply
        } else {
            vm.reply(p.id, stringReply("fine"));
        }
    };
    std::vector<std::optional<std::string>> got;
    for (ObjectId id : {1, 2, 3}) {
        rig.pipeline->stringValue(id, [&got](auto text) { got.push_back(text); });
    }
    rig.pipeline->run();
    EXPECT_THAT(got, ElementsAre(std::nullopt, std::nullopt, std::optional<std::string>("fine")));
}

TEST(Pipeline, AVmThatStopsAnsweringEndsTheRunAndItsLateRepliesAreDropped) {
    Rig rig;
    std::vector<Packet> unanswered;
    rig.vm->onCommand = [&unanswered](FakeVm&, const Packet& p) {
        unanswered.push_back(p);
    };
    int called = 0;
    for (ObjectId id : {1, 2}) {
        rig.pipeline->stringValue(id, [&called](auto) { ++called; });
    }
    EXPECT_THROW(rig.pipeline->run(), TimeoutError);
    EXPECT_EQ(called, 0);
    // The answers come after all; the connection drops them and goes on.
    for (const Packet& p : unanswered) {
        rig.vm->reply(p.id, stringReply("late"));
    }
    rig.vm->onCommand = [](FakeVm& vm, const Packet& p) {
        vm.reply(p.id, stringReply("now"));
    };
    std::optional<std::string> text;
    rig.pipeline->stringValue(3, [&text](auto t) { text = t; });
    rig.pipeline->run();
    EXPECT_EQ(text, "now");
}

} // namespace
