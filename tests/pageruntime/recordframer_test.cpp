#include "tracehook/recordframer.h"

#include <gtest/gtest.h>
#include <vector>

using tracehook::RecordFramer;

namespace {

std::vector<std::string> drain(RecordFramer& framer) {
    std::vector<std::string> out;
    while (std::optional<std::string> r = framer.next())
        out.push_back(*r);
    return out;
}

const std::string kEnd = "%%%END%%%";

TEST(RecordFramer, FindsATerminatorSplitAcrossReads) {
    RecordFramer framer(kEnd);
    framer.append("%L5&12&3&0&4&0%%%E");
    EXPECT_TRUE(drain(framer).empty());
    framer.append("ND%%%");
    EXPECT_EQ(drain(framer), std::vector<std::string>{"%L5&12&3&0&4&0"});
    EXPECT_FALSE(framer.hasPartialRecord());
}

TEST(RecordFramer, ReadsARecordDeliveredOneByteAtATime) {
    RecordFramer framer(kEnd);
    const std::string wire = "%H1&<p>%%%</p>" + kEnd + "%E" + kEnd;
    std::vector<std::string> records;
    for (char c : wire) {
        framer.append(std::string_view(&c, 1));
        for (std::string& r : drain(framer))
            records.push_back(r);
    }
    EXPECT_EQ(records, (std::vector<std::string>{"%H1&<p>%%%</p>", "%E"}));
}

TEST(RecordFramer, SplitsSeveralRecordsInOneReadAndKeepsTheRest) {
    RecordFramer framer(kEnd);
    framer.append("%E" + kEnd + kEnd + "%C x" + kEnd + "%L1");
    EXPECT_EQ(drain(framer), (std::vector<std::string>{"%E", "", "%C x"}));
    EXPECT_EQ(framer.pendingBytes(), 3u);
    framer.append("&2&3&4&5&6" + kEnd);
    EXPECT_EQ(drain(framer), std::vector<std::string>{"%L1&2&3&4&5&6"});
}

TEST(RecordFramer, ARecordSeenInPlaceHoldsUntilTheNextCall) {
    RecordFramer framer(kEnd);
    framer.append("%L1&2&3&4&5&6" + kEnd);
    // The whole of what came: nothing is pending, and the record's bytes are still there.
    const std::optional<std::string_view> record = framer.nextView();
    ASSERT_TRUE(record);
    EXPECT_EQ(framer.pendingBytes(), 0u);
    EXPECT_FALSE(framer.hasPartialRecord());
    EXPECT_EQ(*record, "%L1&2&3&4&5&6");
    EXPECT_FALSE(framer.nextView());
    // Copies and views take turns on the same stream.
    framer.append("%C a" + kEnd + "%C b" + kEnd + "%C");
    EXPECT_EQ(framer.next(), std::optional<std::string>("%C a"));
    EXPECT_EQ(framer.nextView(), std::optional<std::string_view>("%C b"));
    framer.append(" c" + kEnd);
    EXPECT_EQ(drain(framer), std::vector<std::string>{"%C c"});
}

TEST(RecordFramer, ReadsReplyLines) {
    RecordFramer framer("\n");
    framer.append("%N5&0\r\n%B5&3");
    EXPECT_EQ(drain(framer), std::vector<std::string>{"%N5&0\r"});
    framer.append("&1\n");
    EXPECT_EQ(drain(framer), std::vector<std::string>{"%B5&3&1"});
}

TEST(RecordFramer, RefusesARecordThatOutgrowsTheLimitAndDropsItsBytes) {
    RecordFramer framer(kEnd, 1000);
    const std::string chunk(300, 'x');
    for (int i = 0; i < 5 && !framer.overflowed(); ++i) {
        framer.append(chunk);
        EXPECT_TRUE(drain(framer).empty());
    }
    EXPECT_TRUE(framer.overflowed());
    EXPECT_EQ(framer.pendingBytes(), 0u);
    framer.append("%E" + kEnd);
    EXPECT_FALSE(framer.next());
}

TEST(RecordFramer, AcceptsARecordJustUnderTheLimit) {
    RecordFramer framer(kEnd, 1000);
    framer.append(std::string(1000, 'y'));
    framer.append(kEnd);
    EXPECT_FALSE(framer.overflowed());
    ASSERT_EQ(drain(framer).size(), 1u);
}

TEST(RecordFramer, MemoryStaysBoundedOverManyRecords) {
    RecordFramer framer(kEnd, 4096);
    const std::string record = "%L1&2&3&4&5&6" + kEnd;
    std::size_t count = 0;
    for (int i = 0; i < 100000; ++i) {
        framer.append(record);
        count += drain(framer).size();
        ASSERT_LE(framer.pendingBytes(), record.size());
    }
    EXPECT_EQ(count, 100000u);
}

} // namespace
