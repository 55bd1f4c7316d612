#include "core/htmltagerrors.h"
#include "core/htmltagstack.h"
#include "core/monitormessagefile.h"
#include "support/tempdir.h"
#include "tracehook/resourcebundle.h"

#include <algorithm>
#include <climits>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

using namespace tracewin;

namespace {

struct Plain {
    HtmlTagPosition pos;
    const std::string* message;
};

void expectSame(const HtmlTagErrorInfo& got, const Plain& want, std::size_t i) {
    EXPECT_EQ(got.getErrPos(), want.pos) << "error " << i;
    EXPECT_EQ(&got.getErrMsg(), want.message) << "error " << i;
}

// Positions as output gives them (the next error a few columns on, or a line or two
// down) mixed with the ones it rarely gives: errors back up the text, spans over lines,
// the extremes of an int.
TEST(HtmlTagErrorList, ReadsBackEveryErrorAsAddedHoweverItIsReached) {
    std::vector<std::string> texts;
    for (int i = 0; i < 300; ++i)
        texts.push_back("message " + std::to_string(i));
    std::mt19937 random(19);
    auto below = [&](int n) {
        return static_cast<int>(random() % static_cast<unsigned>(n));
    };
    // A step along the text that stays within an int, as the positions of real output do.
    auto plus = [](int at, int step) {
        return static_cast<int>(
            std::clamp<long long>(static_cast<long long>(at) + step, INT_MIN, INT_MAX));
    };

    HtmlTagErrorList list;
    std::vector<Plain> plain;
    HtmlTagPosition pos{1, 1, 1, 1};
    const std::string* message = &texts[0];
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 5000; ++i) {
            switch (below(10)) {
            case 0:
                pos.startLine = plus(pos.startLine, 1 + below(3));
                pos.startPos = 1 + below(40);
                break;
            case 1:
                pos.startLine = std::max(1, plus(pos.startLine, -below(50)));
                pos.startPos = below(100000);
                break;
            case 2:
                pos.startLine = below(2) ? INT_MAX : INT_MIN;
                pos.startPos = below(2) ? INT_MIN : INT_MAX;
                break;
            default:
                pos.startPos = plus(pos.startPos, below(12));
                break;
            }
            pos.endLine = below(8) == 0 ? plus(pos.startLine, below(4) - 1) : pos.startLine;
            pos.endPos = below(8) == 0 ? below(2) * INT_MIN : plus(pos.startPos, below(20));
            if (below(6) == 0)
                message = &texts[static_cast<std::size_t>(below(300))];
            list.emplace_back(pos, *message);
            plain.push_back({pos, message});
        }

        ASSERT_EQ(list.size(), plain.size());
        EXPECT_FALSE(list.empty());
        expectSame(list.front(), plain.front(), 0);
        expectSame(list.back(), plain.back(), plain.size() - 1);
        std::size_t i = 0;
        for (const HtmlTagErrorInfo& error : list) {
            expectSame(error, plain[i], i);
            ++i;
        }
        EXPECT_EQ(i, plain.size());
        for (int k = 0; k < 2000; ++k) {
            const std::size_t at = random() % plain.size();
            expectSame(list[at], plain[at], at);
        }
        const HtmlTagErrorList copy = list;
        ASSERT_EQ(copy.size(), plain.size());
        for (std::size_t at = 0; at < plain.size(); at += 97)
            expectSame(copy[at], plain[at], at);

        // Another page: the list starts again from nothing.
        list.clear();
        plain.clear();
        EXPECT_TRUE(list.empty());
        EXPECT_EQ(list.begin(), list.end());
    }
}

// Output whose end tags close nothing holds an error for every few bytes of it; the
// errors must cost less than the output does.
TEST(HtmlTagErrorList, EndTagsThatCloseNothingTakeAFewBytesEach) {
    testsupport::TempDir dir;
    tracehook::ResourceBundle::setDefaultLocale(std::string());
    dir.write("MonitorMsg.properties", "0003=no start tag for %1\n");
    const MonitorMessageFile messages(dir.str() + "/MonitorMsg");
    struct : HtmlTagStackListener {
        void showStatus(const std::string&) override {}
        void highlightTag(const std::optional<HtmlTagPosition>&) override {}
    } quiet;
    HtmlTagStack stack(HtmlTagTable::createHtmlTagTable(), messages, quiet);

    const char* const ends[] = {"</b>", "</i>", "</span>", "</font>", "</div>"};
    std::mt19937 random(7);
    std::vector<HtmlTagPosition> positions;
    HtmlTags piece;
    int line = 1, column = 1;
    const std::size_t count = 300000;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string text = ends[random() % 5];
        const int width = static_cast<int>(text.size());
        const HtmlTagPosition pos{line, line, column, column + width - 1};
        piece.push_back({text, pos});
        positions.push_back(pos);
        column += width + static_cast<int>(random() % 6);
        if (random() % 6 == 0) {
            ++line;
            column = 1;
        }
        if (piece.size() == 1000) {
            stack.handleTags(std::span(piece));
            piece = HtmlTags();
        }
    }
    ASSERT_EQ(stack.errorList().size(), count);
    EXPECT_EQ(stack.errorList()[count / 2].getErrPos(), positions[count / 2]);
    EXPECT_EQ(stack.errorList().back().getErrPos(), positions.back());
    EXPECT_EQ(stack.errorList().back().getErrMsg().rfind("no start tag for </", 0), 0u);
    // Each error as a position and a pointer took 24 bytes; about 6 bytes of output each.
    EXPECT_LE(stack.errorList().capacityBytes(), count * 5);
}

} // namespace
