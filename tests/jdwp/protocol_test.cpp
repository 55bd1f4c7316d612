// The wire format without a VM: packets cut from a stream at any offset, bounds on every
// length and count, every event kind through its decoder, and the layout of requests.
#include "jdwp/error.h"
#include "jdwp/eventrequest.h"
#include "jdwp/commands.h"
#include "jdwp/events.h"
#include "jdwp/packet.h"
#include "jdwp/utf8.h"
#include "jdwp/wire.h"

#include <gtest/gtest.h>

namespace {

using namespace jdwp;

const IdSizes Wide{};
const IdSizes Narrow{4, 4, 4, 4, 4};

std::vector<std::uint8_t> concat(std::initializer_list<std::vector<std::uint8_t>> parts) {
    std::vector<std::uint8_t> out;
    for (const auto& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

TEST(PacketFramer, CutsTheSamePacketsWhereverTheStreamIsSplit) {
    const std::vector<std::uint8_t> data{1, 2, 3, 4, 5};
    const auto stream = concat({encodeCommand(7, 64, 100, data), encodeReply(8, 0, {}),
                                encodeReply(9, 101, data), encodeCommand(10, 1, 1, {})});
    for (std::size_t cut1 = 0; cut1 <= stream.size(); ++cut1) {
        for (std::size_t cut2 = cut1; cut2 <= stream.size(); cut2 += 3) {
            PacketFramer framer;
            framer.feed(std::span(stream).first(cut1));
            framer.feed(std::span(stream).subspan(cut1, cut2 - cut1));
            framer.feed(std::span(stream).subspan(cut2));
            std::vector<Packet> packets;
            while (auto p = framer.next()) {
                packets.push_back(*p);
            }
            ASSERT_EQ(packets.size(), 4u) << "cut at " << cut1 << " and " << cut2;
            EXPECT_FALSE(packets[0].isReply());
            EXPECT_EQ(packets[0].id, 7u);
            EXPECT_EQ(packets[0].commandSet, 64);
            EXPECT_EQ(packets[0].command, 100);
            EXPECT_EQ(packets[0].data, data);
            EXPECT_TRUE(packets[1].isReply());
            EXPECT_TRUE(packets[1].data.empty());
            EXPECT_EQ(packets[2].errorCode, 101);
            EXPECT_EQ(packets[2].data, data);
            EXPECT_EQ(packets[3].id, 10u);
            EXPECT_FALSE(framer.hasPartial());
        }
    }
}

TEST(PacketFramer, RefusesLengthsOutsideTheBoundsBeforeBuffering) {
    for (const std::vector<std::uint8_t>& header :
         {std::vector<std::uint8_t>{0, 0, 0, 0}, {0, 0, 0, 10}, {0xff, 0xff, 0xff, 0xff},
          {0, 0x10, 0, 1}}) {
        PacketFramer framer(1 << 20);
        EXPECT_THROW(framer.feed(header), ProtocolError);
        EXPECT_FALSE(framer.hasPartial());
    }
    PacketFramer framer(64);
    const auto atBound = encodeReply(1, 0, std::vector<std::uint8_t>(64 - Packet::HeaderSize));
    framer.feed(atBound);
    EXPECT_TRUE(framer.next().has_value());
    EXPECT_THROW(framer.feed(encodeReply(2, 0, std::vector<std::uint8_t>(54))), ProtocolError);
}

TEST(PacketReader, EveryReadIsCheckedAgainstThePacketsEnd) {
    const std::vector<std::uint8_t> shortInt{0, 0, 1};
    EXPECT_THROW(PacketReader(shortInt, Wide).i32(), ProtocolError);

    // A string that claims more bytes than follow, and one of negative length.
    const std::vector<std::uint8_t> longString{0, 0, 0, 9, 'a', 'b'};
    EXPECT_THROW(PacketReader(longString, Wide).string(), ProtocolError);
    const std::vector<std::uint8_t> negative{0xff, 0xff, 0xff, 0xfe};
    EXPECT_THROW(PacketReader(negative, Wide).string(), ProtocolError);

    // A count of two billion elements in a packet of a few bytes is refused before any
    // allocation; one the packet can hold passes.
    const std::vector<std::uint8_t> hugeCount{0x7f, 0xff, 0xff, 0xff, 1, 2, 3};
    EXPECT_THROW(PacketReader(hugeCount, Wide).count(1), ProtocolError);
    const std::vector<std::uint8_t> fitting{0, 0, 0, 3, 1, 2, 3};
    EXPECT_EQ(PacketReader(fitting, Wide).count(1), 3u);
    EXPECT_THROW(PacketReader(fitting, Wide).count(2), ProtocolError);

    const std::vector<std::uint8_t> badTag{'Q', 0, 0, 0, 1};
    EXPECT_THROW(PacketReader(badTag, Wide).taggedValue(), ProtocolError);
    const std::vector<std::uint8_t> badTypeTag{9};
    EXPECT_THROW(PacketReader(badTypeTag, Wide).typeTag(), ProtocolError);
}

TEST(PacketReader, ReadsWhatTheWriterWroteInEveryIdSize) {
    for (const IdSizes& sizes : {Wide, Narrow, IdSizes{2, 8, 4, 1, 8}}) {
        const auto mask = [](int bytes) {
            return bytes == 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * bytes)) - 1;
        };
        const Location loc{TypeTag::Interface, 0x1122334455667788ull & mask(sizes.referenceTypeId),
                           0x99aabbccddeeff00ull & mask(sizes.methodId), 42};
        PacketWriter out(sizes);
        out.u8(200).boolean(true).i32(-5).i64(-1234567890123).string("grüße\n");
        out.objectId(0xfedcba9876543210ull & mask(sizes.objectId)).location(loc);
        out.fieldId(3).frameId(4);
        out.taggedValue(Value::ofInt(-7)).taggedValue(Value{Tag::Double, 0x400921fb54442d18ull});
        out.taggedValue(Value::ofObject(Tag::String, 77)).taggedValue(Value{Tag::Void, 0});

        PacketReader in(out.bytes(), sizes);
        EXPECT_EQ(in.u8(), 200);
        EXPECT_TRUE(in.boolean());
        EXPECT_EQ(in.i32(), -5);
        EXPECT_EQ(in.i64(), -1234567890123);
        EXPECT_EQ(in.string(), "grüße\n");
        EXPECT_EQ(in.objectId(), 0xfedcba9876543210ull & mask(sizes.objectId));
        EXPECT_EQ(in.location(), loc);
        EXPECT_EQ(in.fieldId(), 3u);
        EXPECT_EQ(in.frameId(), 4u);
        EXPECT_EQ(in.taggedValue().asInt(), -7);
        EXPECT_DOUBLE_EQ(in.taggedValue().asDouble(), 3.141592653589793);
        const Value s = in.taggedValue();
        EXPECT_TRUE(s.isObject());
        EXPECT_EQ(s.objectId(), 77u);
        EXPECT_EQ(in.taggedValue().tag, Tag::Void);
        EXPECT_TRUE(in.atEnd());
    }
}

Location at(std::uint64_t index) {
    return Location{TypeTag::Class, 0x51, 0x52, index};
}

EventSet everyKind() {
    EventSet set;
    set.suspendPolicy = SuspendPolicy::EventThread;
    set.events = {
        VmStartEvent{0, 1},
        LocatedEvent{EventKind::SingleStep, 2, 3, at(4)},
        LocatedEvent{EventKind::Breakpoint, 5, 6, at(7)},
        LocatedEvent{EventKind::MethodEntry, 8, 9, at(10)},
        MethodExitEvent{11, 12, at(13), std::nullopt},
        MethodExitEvent{14, 15, at(16), Value::ofInt(17)},
        ExceptionEvent{18, 19, at(20), Value::ofObject(Tag::Object, 21), at(22)},
        ExceptionEvent{23, 24, at(25), Value::ofObject(Tag::Object, 26), std::nullopt},
        ThreadEvent{EventKind::ThreadStart, 27, 28},
        ThreadEvent{EventKind::ThreadDeath, 29, 30},
        ClassPrepareEvent{31, 32, TypeTag::Class, 33, "Lorg/apache/jsp/index_jsp;", 7},
        ClassUnloadEvent{34, "LGone;"},
        FieldEvent{EventKind::FieldAccess, 35, 36, at(37), TypeTag::Class, 38, 39,
                   Value::ofObject(Tag::Object, 40), std::nullopt},
        FieldEvent{EventKind::FieldModification, 41, 42, at(43), TypeTag::Class, 44, 45,
                   Value::ofObject(Tag::Object, 46), Value::ofBoolean(true)},
        MonitorEvent{EventKind::MonitorContendedEnter, 47, 48, Value::ofObject(Tag::Object, 49),
                     at(50), 0, false},
        MonitorEvent{EventKind::MonitorWait, 51, 52, Value::ofObject(Tag::Object, 53), at(54),
                     1500, false},
        MonitorEvent{EventKind::MonitorWaited, 55, 56, Value::ofObject(Tag::Object, 57), at(58),
                     0, true},
        VmDeathEvent{59},
    };
    return set;
}

Packet compositePacket(std::vector<std::uint8_t> data) {
    Packet p;
    p.commandSet = EventCommandSet;
    p.command = CompositeCommand;
    p.data = std::move(data);
    return p;
}

TEST(EventDecoding, EveryKindReadsBackWithItsFields) {
    for (const IdSizes& sizes : {Wide, Narrow}) {
        const EventSet sent = everyKind();
        const EventSet got = decodeEventSet(compositePacket(encodeEventSet(sent, sizes)), sizes);
        EXPECT_EQ(got.suspendPolicy, SuspendPolicy::EventThread);
        ASSERT_EQ(got.events.size(), sent.events.size());
        for (std::size_t i = 0; i < sent.events.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(kindOf(got.events[i]), kindOf(sent.events[i]));
            EXPECT_EQ(requestIdOf(got.events[i]), requestIdOf(sent.events[i]));
            EXPECT_EQ(threadOf(got.events[i]), threadOf(sent.events[i]));
        }
        const auto& prepare = std::get<ClassPrepareEvent>(got.events[10]);
        EXPECT_EQ(prepare.signature, "Lorg/apache/jsp/index_jsp;");
        EXPECT_EQ(prepare.typeId, 33u);
        EXPECT_EQ(prepare.status, 7);
        EXPECT_EQ(std::get<LocatedEvent>(got.events[2]).location, at(7));
        EXPECT_EQ(std::get<MethodExitEvent>(got.events[5]).returnValue->asInt(), 17);
        const auto& caught = std::get<ExceptionEvent>(got.events[6]);
        EXPECT_EQ(caught.exception.objectId(), 21u);
        EXPECT_EQ(caught.catchLocation, at(22));
        EXPECT_FALSE(std::get<ExceptionEvent>(got.events[7]).catchLocation.has_value());
        EXPECT_TRUE(std::get<FieldEvent>(got.events[13]).newValue->asBoolean());
        EXPECT_EQ(std::get<MonitorEvent>(got.events[15]).timeout, 1500);
        EXPECT_TRUE(std::get<MonitorEvent>(got.events[16]).timedOut);
    }
}

TEST(EventDecoding, RefusesTruncatedExtendedAndUnknownInput) {
    const auto whole = encodeEventSet(everyKind(), Wide);
    for (std::size_t n = 0; n < whole.size(); ++n) {
        const std::vector<std::uint8_t> prefix(whole.begin(), whole.begin() + n);
        EXPECT_THROW(decodeEventSet(compositePacket(prefix), Wide), ProtocolError) << n;
    }
    auto extended = whole;
    extended.push_back(0);
    EXPECT_THROW(decodeEventSet(compositePacket(extended), Wide), ProtocolError);

    // An unknown kind, a suspend policy past All, a count the packet cannot hold.
    EXPECT_THROW(decodeEventSet(compositePacket({1, 0, 0, 0, 1, 77, 0, 0, 0, 0}), Wide),
                 ProtocolError);
    EXPECT_THROW(decodeEventSet(compositePacket({3, 0, 0, 0, 0}), Wide), ProtocolError);
    EXPECT_THROW(decodeEventSet(compositePacket({1, 0x7f, 0, 0, 0, 99, 0, 0, 0, 0}), Wide),
                 ProtocolError);
    // A packet that is not a composite event.
    Packet other = compositePacket({1, 0, 0, 0, 0});
    other.command = 1;
    EXPECT_THROW(decodeEventSet(other, Wide), ProtocolError);
    // An exception that is not an object.
    PacketWriter w(Wide);
    w.u8(1).i32(1).u8(4).i32(1).objectId(1).location(at(1)).taggedValue(Value::ofInt(3));
    w.location(at(2));
    EXPECT_THROW(decodeEventSet(compositePacket(w.take()), Wide), ProtocolError);
}

TEST(EventRequestEncoding, ModifiersGoOnTheWireInTheOrderGiven) {
    // A step request filtered to the pages' classes, Count last so that it counts only
    // the events the filters let through.
    const auto request = EventRequest::step(0x0102, StepSize::Line, StepDepth::Over)
                             .classMatch("org.apache.jsp.*")
                             .classExclude("*$Helper")
                             .count(1);
    const auto bytes = encodeEventRequest(request, Narrow);
    PacketReader in(bytes, Narrow);
    EXPECT_EQ(in.u8(), 1);  // SingleStep
    EXPECT_EQ(in.u8(), 1);  // suspend the event thread
    EXPECT_EQ(in.i32(), 4); // modifiers
    EXPECT_EQ(in.u8(), 10);
    EXPECT_EQ(in.objectId(), 0x0102u);
    EXPECT_EQ(in.i32(), 1); // LINE
    EXPECT_EQ(in.i32(), 1); // OVER
    EXPECT_EQ(in.u8(), 5);
    EXPECT_EQ(in.string(), "org.apache.jsp.*");
    EXPECT_EQ(in.u8(), 6);
    EXPECT_EQ(in.string(), "*$Helper");
    EXPECT_EQ(in.u8(), 1);
    EXPECT_EQ(in.i32(), 1);
    EXPECT_TRUE(in.atEnd());

    const auto bp = encodeEventRequest(EventRequest::breakpoint(at(9)).suspend(SuspendPolicy::All),
                                       Wide);
    PacketReader b(bp, Wide);
    EXPECT_EQ(b.u8(), 2);
    EXPECT_EQ(b.u8(), 2);
    EXPECT_EQ(b.i32(), 1);
    EXPECT_EQ(b.u8(), 7);
    EXPECT_EQ(b.location(), at(9));
    EXPECT_TRUE(b.atEnd());
}

} // namespace

namespace {

TEST(Utf8Conversions, RoundTripAndPiecesAndMalformedInput) {
    const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9D\x84\x9E"; // a, é, €, a clef
    std::u16string units;
    EXPECT_EQ(jdwp::appendUtf16(text, 0, units), text.size());
    EXPECT_EQ(units, u"a\u00E9\u20AC\U0001D11E");
    EXPECT_EQ(jdwp::utf16ToUtf8(units), text);

    // Cut anywhere, the pieces decode to the same units.
    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
        std::u16string pieces;
        const std::size_t stopped = jdwp::appendUtf16(text.substr(0, cut), 0, pieces);
        EXPECT_EQ(jdwp::appendUtf16(text, stopped, pieces), text.size());
        EXPECT_EQ(pieces, units) << cut;
    }
    // Malformed bytes and lone surrogates become U+FFFD, never a crash.
    std::u16string bad;
    jdwp::appendUtf16("\xFF" "x\xC0\x80" "\xED\xA0\x80", 0, bad);
    EXPECT_EQ(bad, u"\uFFFDx\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(jdwp::utf16ToUtf8(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD");
}

} // namespace
