#include "fakemonitor.h"
#include "pagerunner/monitorconnection.h"
#include "pagerunner/stopsignal.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <thread>

using namespace pagerunner;
using namespace std::chrono_literals;

namespace {

struct Connected {
    testsupport::FakeMonitor monitor;
    StopSignal stop;
    MonitorConnection client{monitor.port(), stop};
    std::unique_ptr<testsupport::FakeConnection> server = monitor.accept();
};

TEST(MonitorConnectionWire, RecordsGoOutWholeWithNagleOff) {
    Connected c;
    ASSERT_TRUE(c.server);
    EXPECT_TRUE(c.client.noDelay());
    c.client.send("%L1&2&3&4&5&6%%%END%%%");
    EXPECT_EQ(c.server->record(), "%L1&2&3&4&5&6");
}

TEST(MonitorConnectionWire, ReplyLinesEndWithLfOrCrLfAndMayArriveInPieces) {
    Connected c;
    ASSERT_TRUE(c.server);
    c.server->raw("%N1&0\r\n%B1&4&1\n%S");
    EXPECT_EQ(c.client.readLine(), "%N1&0");
    EXPECT_EQ(c.client.readLine(), "%B1&4&1");
    std::thread late([&] {
        std::this_thread::sleep_for(20ms);
        c.server->raw("1\r");
        std::this_thread::sleep_for(20ms);
        c.server->raw("\n");
    });
    EXPECT_EQ(c.client.readLine(), "%S1");
    late.join();
    EXPECT_FALSE(c.client.pollLine(0ms));
    c.server->raw("%T\n");
    EXPECT_EQ(c.client.pollLine(2s), "%T");
}

TEST(MonitorConnectionWire, EndOfStreamAndStopAreReportedAsSuch) {
    Connected c;
    ASSERT_TRUE(c.server);
    c.server->raw("%N1");
    c.server->close();
    try {
        c.client.readLine();
        FAIL() << "read past the end";
    } catch (const ConnectionError& e) {
        EXPECT_EQ(e.kind(), ConnectionError::Kind::Lost);
        EXPECT_STREQ(e.what(), "the monitor closed the connection");
    }

    Connected d;
    std::thread stopper([&] {
        std::this_thread::sleep_for(50ms);
        d.stop.stop();
    });
    try {
        d.client.readLine();
        FAIL() << "a stopped read returned";
    } catch (const ConnectionError& e) {
        EXPECT_EQ(e.kind(), ConnectionError::Kind::Stopped);
    }
    stopper.join();
    // A stopped signal refuses new connections at once.
    EXPECT_THROW(MonitorConnection(d.monitor.port(), d.stop), ConnectionError);
}

} // namespace
