#include "core/htmltagstack.h"
#include "core/monitormessagefile.h"
#include "support/tempdir.h"
#include "tracehook/resourcebundle.h"

#include <algorithm>
#include <cctype>
#include <gtest/gtest.h>
#include <random>

using namespace tracewin;

namespace {

struct Recorder : HtmlTagStackListener {
    void showStatus(const std::string& message) override { status.push_back(message); }
    void highlightTag(const std::optional<HtmlTagPosition>& position) override {
        highlights.push_back(position);
    }
    std::vector<std::string> status;
    std::vector<std::optional<HtmlTagPosition>> highlights;
};

class HtmlTagStackTest : public ::testing::Test {
protected:
    HtmlTagStackTest()
        : messages([this] {
              tracehook::ResourceBundle::setDefaultLocale(std::string());
              dir.write("MonitorMsg.properties",
                        "0001=forbidden %1 (%2)\n0002=missing end tag of %1\n"
                        "0003=no start tag for %1\n0005=%1 errors\n0006=%1 error\n");
              return dir.str() + "/MonitorMsg";
          }()),
          stack(HtmlTagTable::createHtmlTagTable(), messages, recorder) {}

    // Feeds tags, each at its own line.
    void feed(std::initializer_list<const char*> tags) {
        for (const char* tag : tags) {
            ++line;
            stack.handleTag(
                tag, HtmlTagPosition{line, line, 1, 1 + static_cast<int>(std::string(tag).size())});
        }
    }
    std::vector<std::string> open() const {
        std::vector<std::string> texts;
        for (const auto& e : stack.getStack())
            texts.push_back(e.text);
        return texts;
    }
    std::vector<std::string> errors() const {
        std::vector<std::string> texts;
        for (const auto& e : stack.errorList())
            texts.push_back(e.getErrMsg());
        return texts;
    }

    testsupport::TempDir dir;
    MonitorMessageFile messages;
    Recorder recorder;
    HtmlTagStack stack;
    int line = 0;
};

using Texts = std::vector<std::string>;

TEST(HtmlTagTable, HoldsTheNinetyElementsAndClassifiesBodies) {
    const HtmlTagTable& table = HtmlTagTable::createHtmlTagTable();
    EXPECT_EQ(table.size(), 90u);
    EXPECT_EQ(&table, &HtmlTagTable::createHtmlTagTable());
    EXPECT_EQ(table.getHtmlType("p class=\"x\""), HtmlType(1, HtmlTagTable::END_TAG_OPTIONAL));
    EXPECT_EQ(table.getHtmlType("Td"), HtmlType(0, 1));
    EXPECT_EQ(table.getHtmlType("!DOCTYPE html"), HtmlType(4, 0));
    EXPECT_EQ(table.getHtmlType("!-- note --"), HtmlTagTable::commentType);
    EXPECT_EQ(table.getHtmlType("x:custom a=1"), HtmlTagTable::xmlType);
    EXPECT_EQ(table.getHtmlType(""), HtmlTagTable::xmlType);
    EXPECT_EQ(table.getHtmlType("img\tsrc=a"), HtmlType(2, 0));
    EXPECT_EQ(table.getHtmlType("blockQuote cite=x"), HtmlType(0, 2)) << "the longest name";
    EXPECT_EQ(table.getHtmlType("blockquotes"), HtmlTagTable::xmlType);
}

TEST_F(HtmlTagStackTest, OptionalEndTagsCloseSilently) {
    feed({"<p>", "<p>"});
    EXPECT_EQ(open(), Texts{"<p>"});
    feed({"<div>"});
    EXPECT_EQ(open(), Texts{"<div>"}) << "a DIV closes an open P";
    EXPECT_TRUE(errors().empty());
}

TEST_F(HtmlTagStackTest, BlocksOfTheSameLevelNest) {
    feed({"<table>", "<tr>", "<td>", "<tr>"});
    EXPECT_EQ(open(), (Texts{"<table>", "<tr>", "<td>", "<tr>"}));
}

TEST_F(HtmlTagStackTest, ARequiredEndTagClosedImplicitlyIsReported) {
    feed({"<b>", "<DIV class=a>"});
    EXPECT_EQ(open(), Texts{"<DIV class=a>"});
    EXPECT_EQ(errors(), Texts{"missing end tag of <b>"});
    EXPECT_EQ(stack.errorList()[0].getErrPos().startLine, 2) << "recorded at the new tag";
    EXPECT_EQ(recorder.highlights.back(), std::nullopt);
}

TEST_F(HtmlTagStackTest, EndTagsThatCloseNothingOrAreForbidden) {
    feed({"</font>"});
    EXPECT_EQ(errors(), Texts{"no start tag for </font>"});
    feed({"</br>"});
    EXPECT_EQ(errors(), (Texts{"no start tag for </font>", "forbidden </br> (BR)"}));
    EXPECT_EQ(recorder.highlights.back(), (HtmlTagPosition{2, 2, 1, 6}));
    feed({"<i>"});
    EXPECT_EQ(recorder.status.front(), " ");
    EXPECT_NE(std::find(recorder.status.begin(), recorder.status.end(), "2 errors"),
              recorder.status.end())
        << "the summary comes before the next tag is handled";
}

TEST_F(HtmlTagStackTest, OneErrorUsesTheSingularSummary) {
    feed({"</font>", "<i>"});
    EXPECT_NE(std::find(recorder.status.begin(), recorder.status.end(), "1 error"),
              recorder.status.end());
}

TEST_F(HtmlTagStackTest, ForbiddenEndTagElementsAndCommentsAreNeverPushed) {
    feed({"<img src=a.gif>", "<!-- c -->", "<br>", "<br/>", "<x:y a='1'/>", "<>"});
    EXPECT_TRUE(open().empty());
    EXPECT_TRUE(errors().empty());
}

TEST_F(HtmlTagStackTest, UnknownElementsAreXmlTagsClosedByTheirEndTag) {
    feed({"<c:forEach items=x>", "</c:forEach>"});
    EXPECT_TRUE(open().empty());
    EXPECT_TRUE(errors().empty());
}

TEST_F(HtmlTagStackTest, EndTagsMatchByPrefixAndReportRequiredElementsAbove) {
    feed({"<table>", "<tr>", "<td>", "<span>", "</t>"});
    EXPECT_EQ(open(), (Texts{"<table>", "<tr>"}))
        << "</t> closes the nearest element starting with T";
    EXPECT_EQ(errors(), Texts{"missing end tag of <span>"});
    feed({"</TABLE>"});
    EXPECT_TRUE(open().empty());
}

// End tags whose element lies deep in the stack, found, or known to be absent, whether
// the elements above it were searched before or not.
TEST_F(HtmlTagStackTest, EndTagsFindElementsDeepInTheStack) {
    feed({"<div id=outer>"});
    for (int i = 0; i < 20; ++i)
        feed({"<x:item>"});
    feed({"</nothing>"});
    EXPECT_EQ(open().size(), 21u);
    EXPECT_EQ(errors(), Texts{"no start tag for </nothing>"});
    feed({"<em>", "</X:ITEM>", "</x:item>"});
    EXPECT_EQ(open().size(), 19u) << "the em and two items closed";
    EXPECT_EQ(errors().size(), 2u) << "the em's missing end tag";
    feed({"<x:other>", "<x:other>", "</nothing>", "</div>"});
    EXPECT_TRUE(open().empty()) << "the div closes every item above it";
    EXPECT_EQ(errors().size(), 3u) << "XML elements close silently";
    feed({"</div>"});
    EXPECT_EQ(errors().back(), "no start tag for </div>");
}

// Deeper than the entries searched directly, names longer than what the index keeps of
// them are still told apart by their whole text.
TEST_F(HtmlTagStackTest, LongNamesDeepInTheStackAreMatchedWhole) {
    feed({"<x:averyveryverylongname a=1>"});
    for (int i = 0; i < 40; ++i)
        feed({"<x:item>"});
    feed({"</x:averyveryverylongnamf>"});
    EXPECT_EQ(open().size(), 41u);
    EXPECT_EQ(errors(), Texts{"no start tag for </x:averyveryverylongnamf>"});
    feed({"</X:AVERYVERYVERYLONGNAME>"});
    EXPECT_TRUE(open().empty());
    EXPECT_EQ(errors().size(), 1u);
}

// However deep the stack and whatever was searched before, an end tag is reported as
// closing nothing exactly when no open element starts with its name, in any case; names
// here share their first characters, some past what an index could keep of them.
TEST_F(HtmlTagStackTest, AnEndTagClosesNothingExactlyWhenNoOpenElementStartsWithIt) {
    // Elements to search for, among many others that fill the stack.
    const std::vector<std::string> sought = {
        "x:d",          "x:di",         "X:DIV",      "x:divx",
        "x:longname1a", "x:longname1b", "x:Longname", "x:d a=1",
        "x:longname1c", "x:never-open", "x:"};
    auto startsWith = [](std::string text, std::string prefix) {
        for (std::string* s : {&text, &prefix})
            for (char& c : *s)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return text.starts_with(prefix);
    };
    std::mt19937 random(5);
    std::size_t deepSearches = 0;
    for (int step = 0; step < 20000; ++step) {
        const std::size_t choice = random() % 100;
        if (choice < 70) {
            const std::string tag = "<y:filler" + std::to_string(random() % 3) + ">";
            feed({tag.c_str()});
            continue;
        }
        const std::string& name = sought[random() % sought.size()];
        if (choice < 80 && name != "x:never-open") {
            const std::string tag = "<" + name + ">";
            feed({tag.c_str()});
            continue;
        }
        const std::string prefix = "<" + name.substr(0, name.find(' '));
        const auto& open = stack.getStack();
        const auto nearest = std::find_if(
            open.rbegin(), open.rend(), [&](const auto& e) { return startsWith(e.text, prefix); });
        const bool anyOpen = nearest != open.rend();
        if (nearest - open.rbegin() > 32)
            ++deepSearches;
        // The nearest such element closes, with every element above it.
        const std::size_t expectedDepth =
            anyOpen ? static_cast<std::size_t>(open.rend() - nearest) - 1 : open.size();
        const std::size_t reported = stack.errorList().size();
        const std::string tag = "</" + prefix.substr(1) + ">";
        feed({tag.c_str()});
        ASSERT_EQ(stack.getStack().size(), expectedDepth) << "step " << step << " " << tag;
        ASSERT_EQ(stack.errorList().size() > reported, !anyOpen) << "step " << step << " " << tag;
    }
    EXPECT_GT(deepSearches, 1000u) << "end tags searched deep stacks";
}

TEST_F(HtmlTagStackTest, TagsInAnyScriptStayAsWrittenAndCloseByTheirNames) {
    // Only ASCII letters match in either case: "</x:Äb>" closes no "<x:äb>".
    const std::vector<std::string> names = {"x:ä",          "x:äb",         "x:Äb",
                                            "x:日本",       "x:日本語",     "x:日",
                                            "x:longnameä1", "x:LONGNAMEä2", "x:Longname"};
    auto startsWith = [](std::string text, std::string prefix) {
        for (std::string* s : {&text, &prefix})
            for (char& c : *s)
                c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        return text.starts_with(prefix);
    };
    std::mt19937 random(11);
    std::vector<std::string> expected;
    std::size_t closedDeep = 0;
    for (int step = 0; step < 5000; ++step) {
        const std::size_t choice = random() % 100;
        const std::string& name = names[random() % names.size()];
        std::string tag;
        if (choice < 60) {
            tag = "<y:füller" + std::to_string(random() % 3) + " title=\"€\">";
            expected.push_back(tag);
        } else if (choice < 75) {
            tag = "<" + name + ">";
            expected.push_back(tag);
        } else {
            const std::string prefix = "<" + name;
            const auto nearest = std::find_if(expected.rbegin(), expected.rend(),
                                              [&](const auto& t) { return startsWith(t, prefix); });
            if (nearest - expected.rbegin() > 32)
                ++closedDeep;
            if (nearest != expected.rend())
                expected.resize(static_cast<std::size_t>(expected.rend() - nearest) - 1);
            tag = "</" + name + ">";
        }
        feed({tag.c_str()});
        ASSERT_EQ(stack.getStack().size(), expected.size()) << "step " << step << " " << tag;
        ASSERT_TRUE(expected.empty() || stack.getStack().back().text == expected.back())
            << "step " << step << " " << tag;
    }
    EXPECT_EQ(open(), expected);
    EXPECT_GT(closedDeep, 100u) << "end tags closed elements deep in the stack";

    // A message names an element as written.
    stack.clear();
    feed({"<b title=\"ü日\">", "<div>"});
    EXPECT_EQ(errors(), Texts{"missing end tag of <b title=\"ü日\">"});
    EXPECT_EQ(open(), Texts{"<div>"});
}

TEST(HtmlTags, KeepEveryTextWhateverItsLength) {
    HtmlTags tags;
    std::vector<std::string> written;
    for (int i = 0; i < 3000; ++i) {
        written.push_back(i % 1000 == 7 ? "<x " + std::string(40000, 'a') + ">" // past a block
                                        : "<p id=" + std::to_string(i) + ">");
        tags.push_back({written.back(), HtmlTagPosition{i + 1, i + 1, 1, 2}});
    }
    HtmlTags moved = std::move(tags);
    ASSERT_EQ(moved.size(), written.size());
    for (std::size_t i = 0; i < written.size(); ++i)
        ASSERT_EQ(moved[i].text, written[i]) << i;
}

TEST_F(HtmlTagStackTest, HostileTagTextNeverBreaksTheStack) {
    feed({"<", ">", "</>", "< >", "<<p>>", "<p", "</ p>", "<\xff\xfe>", "</\xff\xfe>"});
    for (const auto& e : stack.getStack())
        EXPECT_FALSE(e.text.empty());
    stack.clear();
    EXPECT_TRUE(open().empty());
    EXPECT_TRUE(errors().empty());
}

// The tags of one piece handled together end where one by one ends, and the listener
// hears only that end: the last status (a summary of the errors worded as the last tag
// saw them) and the last highlight.
TEST_F(HtmlTagStackTest, APieceOfTagsEndsAsOneByOneAndReportsOnce) {
    const std::vector<const char*> texts = {
        "<b>",  "<DIV class=a>", "</font>", "<table>", "<tr>",      "<td>", "<span>",
        "</t>", "</br>",         "<p>",     "<p>",     "</blink>",  "<ul>", "<li>",
        "<li>", "</UL>",         "<i>",     "</div>",  "<a href=x>"};
    HtmlTags piece;
    for (const char* text : texts) {
        const int at = static_cast<int>(piece.size()) + 1;
        piece.push_back({text, HtmlTagPosition{at, at, 1, 1 + int(std::string(text).size())}});
    }
    for (std::size_t end = 1; end <= piece.size(); ++end) {
        Recorder together;
        HtmlTagStack batch(HtmlTagTable::createHtmlTagTable(), messages, together);
        batch.handleTags(std::span(piece).first(end));
        Recorder single;
        HtmlTagStack oneByOne(HtmlTagTable::createHtmlTagTable(), messages, single);
        for (std::size_t i = 0; i < end; ++i)
            oneByOne.handleTag(piece[i].text, piece[i].pos);

        ASSERT_EQ(batch.getStack().size(), oneByOne.getStack().size()) << end << " tags";
        for (std::size_t i = 0; i < batch.getStack().size(); ++i)
            EXPECT_EQ(batch.getStack()[i].text, oneByOne.getStack()[i].text);
        ASSERT_EQ(batch.errorList().size(), oneByOne.errorList().size());
        for (std::size_t i = 0; i < batch.errorList().size(); ++i)
            EXPECT_EQ(batch.errorList()[i].getErrMsg(), oneByOne.errorList()[i].getErrMsg());
        ASSERT_EQ(together.status.size(), 1u) << end << " tags";
        EXPECT_EQ(together.status.back(), single.status.back());
        ASSERT_LE(together.highlights.size(), 1u);
        if (single.highlights.empty())
            EXPECT_TRUE(together.highlights.empty());
        else
            EXPECT_EQ(together.highlights, decltype(single.highlights){single.highlights.back()});
    }
}

} // namespace
