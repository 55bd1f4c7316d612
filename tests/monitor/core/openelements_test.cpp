#include "core/openelements.h"

#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

using namespace tracewin;

namespace {

struct Pushed {
    std::string text;
    HtmlTagPosition pos;
};

// The position of a tag written on one line from `column` on, as the output places it: from
// its "<" to its ">", in UTF-16 units.
HtmlTagPosition onOneLine(int line, int column, int units) {
    return {line, line, column, column + units - 1};
}

} // namespace

// Elements opened and closed at random, with tags in ASCII, Latin-1 and other scripts, on
// one line or across lines or written with blanks their text leaves out: every element
// gives back the text and the position it was opened with, whichever way it is kept.
TEST(OpenElements, GiveBackEveryTextAndPositionAsOpened) {
    const std::vector<std::pair<std::string, int>> tags = {
        {"<td>", 4}, {"<a href=\"x\">", 12}, {"<p title=\"é\">", 13}, {"<x:日本>", 6}};
    std::mt19937 random(5);
    OpenElements elements;
    std::vector<Pushed> expected;
    for (int step = 0; step < 20'000; ++step) {
        const std::size_t choice = random() % 10;
        if (choice < 6 || expected.empty()) {
            const auto& [text, units] = tags[random() % tags.size()];
            const int line = 1 + static_cast<int>(random() % 1000);
            const int column = 1 + static_cast<int>(random() % 80);
            HtmlTagPosition pos = onOneLine(line, column, units);
            if (choice == 1) // across lines
                pos = {line, line + 2, column, 3};
            else if (choice == 2) // with blanks before its ">"
                pos.endPos += 2;
            elements.push(
                text, HtmlType(HtmlTagTable::INLINE_ELEMENT, HtmlTagTable::END_TAG_REQUIRED), pos);
            expected.push_back({text, pos});
        } else if (choice < 9) {
            elements.pop();
            expected.pop_back();
        } else if (choice == 9 && random() % 50 == 0) {
            elements.clear();
            expected.clear();
        }
        ASSERT_EQ(elements.size(), expected.size());
        for (std::size_t depth = expected.size() > 5 ? expected.size() - 5 : 0;
             depth < expected.size(); ++depth) {
            const OpenElements::Entry entry = elements[depth];
            ASSERT_EQ(entry.text, expected[depth].text) << "step " << step;
            ASSERT_EQ(entry.pos, expected[depth].pos) << "step " << step << " depth " << depth;
        }
    }
    for (std::size_t depth = 0; depth < expected.size(); ++depth)
        EXPECT_EQ(elements[depth].pos, expected[depth].pos) << "depth " << depth;
}
