#include "lexedtext.h"
#include "syntax/htmllexer.h"
#include "syntax/incrementallexer.h"
#include "syntax/jsplexer.h"

#include <random>

using namespace tracewin::syntax;

namespace {

// A lexer that counts the tokens it is asked for, to show how much was lexed.
class CountingLexer final : public Lexer {
public:
    Token next(tracewin::CharsView line, std::size_t pos, State& state) const override {
        ++calls;
        return inner.next(line, pos, state);
    }
    State atLineEnd(State state) const override { return inner.atLineEnd(state); }

    JspLexer inner;
    mutable std::size_t calls = 0;
};

// A text of JSP lines, with elements and comments that run across lines.
std::vector<std::u16string> page(unsigned seed, std::size_t count) {
    static const std::u16string kPieces[] = {u"<td class=\"a\">",
                                             u"<%= x %>",
                                             u"<% if (a) { /* c",
                                             u"d */ } %>",
                                             u"${m[\"}\"]}",
                                             u"<%-- c",
                                             u"--%>",
                                             u"text &amp; ",
                                             u"<a href='${u}/<%= i %>'>",
                                             u"\"s %> t\"",
                                             u"<!-- h",
                                             u"-->",
                                             u"<jsp:include page=\"f\"/>",
                                             u"<script>a<b",
                                             u"</script>"};
    std::mt19937 random(seed);
    std::vector<std::u16string> lines(count);
    for (std::u16string& line : lines)
        for (auto n = random() % 6; n > 0; --n)
            line += kPieces[random() % std::size(kPieces)];
    return lines;
}

struct Text {
    std::vector<std::u16string> lines;
    IncrementalLexer::LineText reader() const {
        return [this](std::size_t i) {
            return std::u16string_view(lines[i]);
        };
    }
};

// The tokens of every line, lexed whole from the text's start.
std::vector<std::vector<Token>> whole(const std::vector<std::u16string>& lines) {
    return syntaxtest::LexedText(JspLexer(), lines).tokens;
}

TEST(IncrementalLexer, LinesAskedInAnyOrderGetTheTokensOfTheWholeText) {
    Text text{page(7, 300)};
    const auto expected = whole(text.lines);
    IncrementalLexer lexer(std::make_unique<JspLexer>());
    for (std::size_t i : {250u, 3u, 299u, 0u, 120u})
        EXPECT_EQ(lexer.tokens(text.reader(), i, 0, SIZE_MAX), expected[i]) << "line " << i;
    // Only the columns asked for: the tokens that meet them.
    std::size_t index = 250;
    while (expected[index].size() < 3)
        ++index;
    const std::vector<Token>& line = expected[index];
    const std::size_t from = line[1].begin + 1, to = line[2].begin + 1;
    EXPECT_EQ(lexer.tokens(text.reader(), index, from, to),
              std::vector<Token>(line.begin() + 1, line.begin() + 3));
}

TEST(IncrementalLexer, ChangedAndAppendedLinesAreLexedAgainFromWhereTheyChanged) {
    Text text{page(11, 200)};
    auto counting = std::make_unique<CountingLexer>();
    const CountingLexer& counter = *counting;
    IncrementalLexer lexer(std::move(counting));
    lexer.tokens(text.reader(), 199, 0, SIZE_MAX);
    EXPECT_EQ(lexer.knownStarts(), 200u);

    // A line in the middle changes: the lines after it are lexed anew.
    text.lines[100] = u"<% /* a comment that now runs on";
    lexer.linesChangedFrom(100);
    EXPECT_EQ(lexer.knownStarts(), 101u);
    EXPECT_EQ(lexer.tokens(text.reader(), 150, 0, SIZE_MAX), whole(text.lines)[150]);
    EXPECT_EQ(lexer.tokens(text.reader(), 199, 0, SIZE_MAX), whole(text.lines)[199]);

    // The last line grows and lines follow: what came before is not lexed again.
    text.lines.back() += u"<%= more %>";
    text.lines.push_back(u"<b>new</b>");
    lexer.linesAppended(200);
    const std::size_t before = counter.calls;
    EXPECT_EQ(lexer.tokens(text.reader(), 200, 0, SIZE_MAX), whole(text.lines)[200]);
    EXPECT_LT(counter.calls - before, 40u);
}

TEST(IncrementalLexer, ALongLineIsLexedFromACheckpointNearTheColumnsAsked) {
    // One line of a megabyte, as output without line feeds arrives.
    Text text{{u""}};
    std::u16string& line = text.lines[0];
    const std::vector<std::u16string> pieces = page(3, 4000);
    while (line.size() < 1000000)
        for (const std::u16string& piece : pieces)
            line += piece;
    const std::vector<Token> expected = whole(text.lines)[0];
    auto counting = std::make_unique<CountingLexer>();
    const CountingLexer& counter = *counting;
    IncrementalLexer lexer(std::move(counting));

    auto meeting = [&](std::size_t from, std::size_t to) {
        std::vector<Token> out;
        for (const Token& t : expected)
            if (t.end > from && t.begin < to)
                out.push_back(t);
        return out;
    };
    EXPECT_EQ(lexer.tokens(text.reader(), 0, 999000, 999100), meeting(999000, 999100));
    const std::size_t first = counter.calls;
    // Once the checkpoints are there, a place far along costs a little lexing.
    for (std::size_t from : {500000u, 20000u, 998000u}) {
        const std::size_t before = counter.calls;
        EXPECT_EQ(lexer.tokens(text.reader(), 0, from, from + 200), meeting(from, from + 200));
        EXPECT_LT(counter.calls - before, first / 100);
    }

    // The line grows at its end, piece by piece: each piece costs its own length and at
    // most the distance between two checkpoints, not the line again.
    const std::size_t before = counter.calls;
    for (int i = 0; i < 50; ++i) {
        line += pieces[static_cast<std::size_t>(i)];
        lexer.linesAppended(1);
        lexer.tokens(text.reader(), 0, line.size() - 100, line.size());
    }
    EXPECT_LT((counter.calls - before) / 50, 2 * IncrementalLexer::CHECKPOINT_SPACING);
    EXPECT_EQ(lexer.tokens(text.reader(), 0, 0, SIZE_MAX), whole(text.lines)[0]);
}

// Output without line feeds is lexed in steps of many tokens up to the columns asked:
// whatever columns are asked as the line grows, their tokens are those of the whole line.
TEST(IncrementalLexer, AGrowingLineOfOutputGivesTheTokensOfTheWholeLineWhereverAsked) {
    const std::u16string kPieces[] = {u"<td>",
                                      u"</td>",
                                      u"text &amp; more ",
                                      u"<a href=\"x?a=1&b=2\">",
                                      u"<!-- note -->",
                                      u"<script>if (a<b) x();</script>",
                                      u"<STYLE>p{}</style>",
                                      u"<br/>",
                                      std::u16string(1500, u'w'),
                                      u"<",
                                      u"& ",
                                      u"<div class='c'\n>"};
    std::mt19937 random(9);
    Text text{{u""}};
    std::u16string& line = text.lines[0];
    IncrementalLexer lexer(std::make_unique<HtmlLexer>());
    for (int round = 0; round < 60; ++round) {
        for (int k = 0; k < 40; ++k)
            line += kPieces[random() % std::size(kPieces)];
        lexer.linesAppended(1);
        const std::vector<Token> expected =
            syntaxtest::LexedText(HtmlLexer(), text.lines).tokens[0];
        for (int ask = 0; ask < 3; ++ask) {
            const std::size_t from = random() % line.size();
            const std::size_t to = from + 1 + random() % 300;
            std::vector<Token> meeting;
            for (const Token& t : expected)
                if (t.end > from && t.begin < to)
                    meeting.push_back(t);
            ASSERT_EQ(lexer.tokens(text.reader(), 0, from, to), meeting)
                << "round " << round << ", columns " << from << " to " << to;
        }
    }
}

} // namespace
