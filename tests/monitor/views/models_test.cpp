#include "core/breakpoints.h"
#include "core/states.h"
#include "support/tempdir.h"
#include "views/htmlmodel.h"
#include "views/sourcemodels.h"

#include <QWidget>
#include <gtest/gtest.h>
#include <random>

using namespace tracewin;

namespace {

QStringList texts(const CommonModel& m) {
    QStringList out;
    for (const SourceLine& l : m.getLines())
        out << l->getViewLine();
    return out;
}

struct FakeView : CommonViewState {
    bool getFocus() const override { return focus; }
    int getCurrentViewLine() const override { return line; }
    std::optional<QString> getStatusLineMsg() const override { return status; }
    bool focus = true;
    int line = 7;
    std::optional<QString> status = QStringLiteral("Line 7");
};

class ModelsTest : public ::testing::Test {
protected:
    QString file(const std::string& name, const std::string& bytes) {
        return QString::fromStdString(dir.write(name, bytes));
    }

    testsupport::TempDir dir;
};

TEST_F(ModelsTest, PrimingFiltersAgentCallsAndExpandsTabs) {
    JavaModel java;
    ASSERT_TRUE(java.primeModel(
        file("Page.java", "class P {\nvlmAgent.line(12);out.print(x);\n\tx\t\n}"), true, true));
    EXPECT_EQ(texts(java), (QStringList{"class P {", "out.print(x);", "  x  ", "}"}));
    EXPECT_EQ(java.getNumOfRemovedChar(2), 18);
    EXPECT_EQ(java.getNumOfRemovedChar(1), 0);
    EXPECT_EQ(java.getNumOfRemovedChar(99), 0);
}

TEST_F(ModelsTest, PrimingWithTerminatorsAddsAFinalLine) {
    JspModel jsp;
    ASSERT_TRUE(jsp.primeModel(file("a.jsp", "a\r\nb\rc\n"), false, false));
    EXPECT_EQ(texts(jsp), (QStringList{"a\n", "b\n", "c\n", "\n"}));
    EXPECT_EQ(jsp.getLines()[1]->getStartPos(), 2);
    EXPECT_EQ(jsp.getTextPos(), 7);
}

TEST_F(ModelsTest, PrimingKeepsUtf8AndAgentTextWithoutCallEnd) {
    JavaModel java;
    ASSERT_TRUE(java.primeModel(
        file("u.java", "s = \"\xC3\xA9t\xC3\xA9 \xE6\x97\xA5\";\nvlmAgent.line(3 no end\n"), true,
        true));
    EXPECT_EQ(texts(java),
              (QStringList{QString::fromUtf8("s = \"\xC3\xA9t\xC3\xA9 \xE6\x97\xA5\";"),
                           "vlmAgent.line(3 no end"}));
    EXPECT_EQ(java.getNumOfRemovedChar(2), 0);
}

TEST_F(ModelsTest, UnreadableOrMissingFilesLeaveAnEmptyModel) {
    JspModel jsp;
    ASSERT_TRUE(jsp.primeModel(file("a.jsp", "x\n"), true, true));
    EXPECT_FALSE(jsp.primeModel(dir.str().c_str() + QStringLiteral("/missing.jsp"), true, true));
    EXPECT_TRUE(jsp.getLines().empty());
    EXPECT_TRUE(jsp.primeModel(std::nullopt, true, true));
    EXPECT_TRUE(jsp.getFilename()->endsWith("missing.jsp"))
        << "a null name keeps the previous name";
}

TEST_F(ModelsTest, ExecutableLinesAndInclusivePositions) {
    JspModel jsp;
    ASSERT_TRUE(jsp.primeModel(file("a.jsp", "\n   \n x\nabcd\n"), true, true));
    EXPECT_TRUE(jsp.getIsCurrentLineExecutable(1));
    EXPECT_TRUE(jsp.getIsCurrentLineExecutable(2));
    EXPECT_FALSE(jsp.getIsCurrentLineExecutable(3));
    EXPECT_TRUE(jsp.getIsCurrentLineExecutable(42));
    EXPECT_EQ(jsp.convertToInclusivePos({1, 1}), FilePosition(1, 1));
    EXPECT_EQ(jsp.convertToInclusivePos({1, 3}), FilePosition(5, 2));
    EXPECT_EQ(jsp.convertToInclusivePos({5, 3}), FilePosition(4, 3));
    EXPECT_EQ(jsp.convertToInclusivePos({1, 9}), FilePosition(1, 9));
}

TEST_F(ModelsTest, SnapshotsShareLinesAndKeepTheViewAndState) {
    JspModel jsp;
    ASSERT_TRUE(jsp.primeModel(file("one.jsp", "a\nb\n"), true, true));
    FakeView view;
    const CommonModelViewInfo snapshot(jsp, &view, States::NEXT_ERR);
    EXPECT_EQ(snapshot.statesValue, States::NEXT_ERR);
    EXPECT_EQ(snapshot.currentViewLine, 7);
    EXPECT_TRUE(snapshot.focus);
    EXPECT_EQ(snapshot.statusLineMsg, QStringLiteral("Line 7"));
    EXPECT_EQ(CommonModelViewInfo(jsp, nullptr, States::STEP).currentViewLine, -1);

    ASSERT_TRUE(jsp.primeModel(file("two.jsp", "z\n"), true, true));
    EXPECT_EQ(texts(jsp), QStringList{"z"});
    jsp.restoreCanvas(snapshot);
    EXPECT_EQ(texts(jsp), (QStringList{"a", "b"}));
    EXPECT_EQ(jsp.keptText().store, snapshot.text.store) << "the snapshot shares the file's text";
    EXPECT_TRUE(jsp.getFilename()->endsWith("one.jsp"));

    // Line objects are shared too: text appended later shows through the snapshot.
    JspModel objects;
    objects.setLines({std::make_shared<SourceInformation>(QStringLiteral("a"), 0)});
    const CommonModelViewInfo ofObjects(objects, nullptr, States::STEP);
    objects.getLines()[0]->appendText("!");
    ASSERT_TRUE(objects.primeModel(file("two.jsp", "z\n"), true, true));
    objects.restoreCanvas(ofObjects);
    EXPECT_EQ(texts(objects), QStringList{"a!"});
}

TEST_F(ModelsTest, APrimedFileIsShownAsTextAndCanStillGrowAsLineObjects) {
    JavaModel java;
    ASSERT_TRUE(java.primeModel(file("P.java", "vlmAgent.line(4);x();\ny\n"), true, false));
    EXPECT_EQ(java.lineCount(), 3);
    EXPECT_EQ(java.lineList().text(0), u"x();\n");
    EXPECT_EQ(java.getNumOfRemovedChar(1), 17);
    EXPECT_EQ(java.getTextPos(), 8);
    EXPECT_EQ(java.getLines()[2]->getStartPos(), 7) << "copies start where the lines do";
    // The lines of the file again, appended after its own.
    ASSERT_TRUE(java.primeModel());
    EXPECT_EQ(texts(java), (QStringList{"x();\n", "y\n", "\n", "vlmAgent.line(4);x();\n", "y\n"}));
    EXPECT_EQ(java.getLines()[3]->getStartPos(), 8);
    EXPECT_EQ(java.getTextPos(), 32);
}

TEST(HtmlModel, ATagThenLineFeedsThenText) {
    HtmlModel html;
    HtmlTagPosition pos = html.addText("<b>\n\n\nx");
    EXPECT_EQ(texts(html), (QStringList{"<b>", "x"}));
    EXPECT_EQ(pos, (HtmlTagPosition{1, 1, 0, 3}));
}

TEST(HtmlModel, TextWithoutTagsSpansToTheEnd) {
    HtmlModel html;
    html.addText("<p>");
    HtmlTagPosition pos = html.addText("hello\nworld");
    EXPECT_EQ(pos, (HtmlTagPosition{1, 2, 0, 5}));
}

TEST(HtmlModel, BlanksTabsAndCarriageReturns) {
    HtmlModel html;
    html.addText("<ul>\r\n  \n\t<li>a\tb</li>\n");
    EXPECT_EQ(texts(html), (QStringList{"<ul>", "<li>a b</li>", ""}));
    HtmlTagPosition pos = html.addText("   ");
    EXPECT_EQ(pos, (HtmlTagPosition{1, 3, 0, 0}));
}

TEST(HtmlModel, ReportsEveryCompleteTagEvenAcrossCalls) {
    HtmlModel html;
    std::vector<std::pair<QString, HtmlTagPosition>> tags;
    auto record = [&](QStringView t, const HtmlTagPosition& p) {
        tags.emplace_back(t.toString(), p);
    };
    html.addText("<html><body class=", record);
    html.addText("\"a\">\n<p>hi</p", record);
    html.addText(">", record);
    ASSERT_EQ(tags.size(), 4u);
    EXPECT_EQ(tags[0].first, "<html>");
    EXPECT_EQ(tags[0].second, (HtmlTagPosition{1, 1, 1, 6}));
    EXPECT_EQ(tags[1].first, "<body class=\"a\">");
    EXPECT_EQ(tags[1].second, (HtmlTagPosition{1, 1, 7, 22}));
    EXPECT_EQ(tags[2].second, (HtmlTagPosition{2, 2, 1, 3}));
    EXPECT_EQ(tags[3].first, "</p>");
    EXPECT_EQ(tags[3].second, (HtmlTagPosition{2, 2, 6, 9}));
}

// A tag's text is what its pieces wrote: a line break inside it is a blank, a piece of
// blanks only is left out, and a "<" inside a tag starts it again.
TEST(HtmlModel, TagTextsFollowLineBreaksBlanksAndRestarts) {
    const std::vector<std::pair<QStringList, QStringList>> cases = {
        {{"<a\n href=\"x\"  \n>"}, {"<a  href=\"x\"   >"}},
        {{"< \n>"}, {"< >"}},
        {{"<ta", "ble", " cl", "ass=1>"}, {"<table class=1>"}},
        {{"<a", "  ", "b>"}, {"<ab>"}},
        {{"<a\r\tb>"}, {"<a  b>"}},
        {{"<<b>>"}, {"<b>"}},
        {{"<i", "\n", "\n", ">x</i>"}, {"<i  >", "</i>"}},
        {{"< >"}, {"<>"}},
    };
    for (const auto& [pieces, expected] : cases) {
        HtmlModel html;
        QStringList tags;
        for (const QString& piece : pieces)
            html.addText(piece, [&](QStringView t, const HtmlTagPosition&) {
                tags.push_back(t.toString());
            });
        EXPECT_EQ(tags, expected) << pieces.join(u'|').toStdString();
    }
}

TEST(HtmlModel, LargeOutputStaysLinearAndWhole) {
    HtmlModel html;
    QString chunk;
    for (int i = 0; i < 100; ++i)
        chunk += "<tr><td>" + QString::number(i) + "</td></tr>\n";
    int tags = 0;
    for (int r = 0; r < 200; ++r)
        html.addText(chunk, [&](QStringView, const HtmlTagPosition&) { ++tags; });
    EXPECT_EQ(tags, 200 * 100 * 4);
    EXPECT_EQ(html.lineCount(), 200 * 100 + 1);
}

// Output comes from the page runtime in UTF-8, and ASCII pieces are taken apart without
// being decoded: lines, tags and spans must be what the decoded text gives, whatever mix
// of ASCII and other pieces a tag, a line or a run of blanks is spread over.
TEST(HtmlModel, OutputInUtf8GivesWhatTheDecodedTextGives) {
    const std::vector<std::string> bits = {"<",
                                           ">",
                                           "\n",
                                           "\f",
                                           " ",
                                           "  ",
                                           "\t",
                                           "\r\n",
                                           "a",
                                           "td",
                                           "</p>",
                                           "=\"x\"",
                                           "\xc3\xa9",
                                           "\xe2\x82\xac",
                                           "\xf0\x9f\x98\x80",
                                           "<b>",
                                           "\xff",
                                           "<\xc3\xa9>"};
    std::mt19937 random(11);
    for (int round = 0; round < 200; ++round) {
        HtmlModel decoded, utf8;
        std::vector<std::pair<std::string, HtmlTagPosition>> expected, seen;
        for (int piece = 0; piece < 12; ++piece) {
            std::string text;
            for (std::size_t k = random() % 9; k > 0; --k)
                text += bits[random() % bits.size()];
            const HtmlTagPosition a = decoded.addText(
                QString::fromStdString(text), [&](QStringView tag, const HtmlTagPosition& at) {
                    expected.emplace_back(tag.toUtf8().toStdString(), at);
                });
            HtmlTags tags;
            const HtmlTagPosition b = utf8.addText(std::string_view(text), tags);
            for (const HtmlTag& tag : tags)
                seen.emplace_back(std::string(tag.text), tag.pos);
            ASSERT_EQ(a, b) << "round " << round << " piece " << piece;
        }
        EXPECT_EQ(texts(utf8), texts(decoded)) << "round " << round;
        EXPECT_EQ(seen, expected) << "round " << round;
        EXPECT_EQ(utf8.endPosition(), decoded.endPosition()) << "round " << round;
    }
}

TEST(BreakpointLst, KeepsLinesOnceInOrder) {
    BreakpointLst bp;
    bp.add(5);
    bp.add(2);
    bp.add(5);
    bp.remove(9);
    EXPECT_EQ(bp.lines(), (std::vector<int>{5, 2}));
    bp.remove(5);
    EXPECT_FALSE(bp.contains(5));
    EXPECT_TRUE(bp.contains(2));
    BreakpointInfo info(12, true);
    EXPECT_FALSE(info.getFileIdInt());
    info.setFileIdInt(4);
    EXPECT_EQ(info.getFileIdInt(), std::optional<int>(4));
}

TEST(FilePosition, OrdersByLineThenColumn) {
    EXPECT_TRUE(FilePosition(9, 1).isLessThan(FilePosition(1, 2)));
    EXPECT_TRUE(FilePosition(2, 3).isGreaterThan(FilePosition(1, 3)));
    EXPECT_TRUE(FilePosition(2, 3).isLessThanOrEqualTo(FilePosition(2, 3)));
    EXPECT_TRUE(FilePosition(2, 3).isEqualTo(FilePosition(2, 3)));
    EXPECT_FALSE(FilePosition(2, 3).isGreaterThanOrEqualTo(FilePosition(3, 3)));
}

} // namespace
