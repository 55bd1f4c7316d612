#include "views/commonmodel.h"
#include "views/htmlmodel.h"
#include "views/textlines.h"

#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

using namespace tracewin;

namespace {

QString run(QChar c, qsizetype n) {
    return QString(n, c);
}

std::vector<QString> contents(const TextLines& lines) {
    std::vector<QString> out;
    for (std::size_t i = 0; i < lines.size(); ++i)
        out.push_back(toQString(lines.text(i)));
    return out;
}

QStringList shown(const CommonModel& model) {
    QStringList out;
    for (std::size_t i = 0; i < model.lineList().size(); ++i)
        out << toQString(model.lineList().text(i));
    return out;
}

} // namespace

// Lines of every length, grown a little or a lot, cut back and copied, across the ends of
// the shared blocks and into blocks of their own, in ASCII, in Latin-1 and in other
// scripts that turn a line kept a byte a character into UTF-16 in the middle of it: the
// store always reads as plain strings edited the same way.
TEST(TextLines, ReadsAsPlainStringsEditedTheSameWay) {
    std::mt19937 random(7);
    TextLines lines;
    std::vector<QString> expected;
    auto length = [&] {
        switch (random() % 8) {
        case 0:
            return qsizetype(0);
        case 1:
            return qsizetype(20'000 + random() % 60'000); // about where lines get their own block
        default:
            return qsizetype(random() % 200);
        }
    };
    // Appends text given as Latin-1 where it fits, else as UTF-16.
    auto append = [&](bool line, const QString& text) {
        const QByteArray latin1 = text.toLatin1();
        const bool fits = QString::fromLatin1(latin1) == text && random() % 2;
        if (line && fits)
            lines.appendLine(QLatin1StringView(latin1));
        else if (line)
            lines.appendLine(text);
        else if (fits)
            lines.appendToLast(QLatin1StringView(latin1));
        else
            lines.appendToLast(text);
    };
    const std::u16string others = u"\u00e9\u00ff\u0436\u20ac\u4e2d";
    for (int step = 0; step < 3000; ++step) {
        const QChar c(random() % 8 == 0 ? others[random() % others.size()]
                                        : char16_t(u'a' + step % 26));
        const int op = static_cast<int>(random() % 20);
        if (op < 8) {
            const QString text = run(c, length());
            append(true, text);
            expected.push_back(text);
        } else if (op < 18) {
            const QString text = run(c, length());
            append(false, text);
            if (expected.empty())
                expected.push_back(text);
            else
                expected.back() += text;
        } else if (op == 18) {
            const std::size_t keep = expected.empty() ? 0 : random() % (expected.size() + 1);
            lines.truncate(keep);
            expected.resize(keep);
        } else {
            const std::size_t keep = expected.empty() ? 0 : random() % (expected.size() + 1);
            const auto copy = lines.copy(keep);
            ASSERT_EQ(contents(*copy),
                      std::vector<QString>(expected.begin(), expected.begin() + keep));
        }
        ASSERT_EQ(lines.size(), expected.size()) << "step " << step;
        if (step % 100 == 0 || step > 2950) {
            ASSERT_EQ(contents(lines), expected) << "step " << step;
        }
    }
    lines.clear();
    EXPECT_TRUE(lines.empty());
    lines.appendToLast(u"again");
    EXPECT_EQ(contents(lines), std::vector<QString>{QStringLiteral("again")});
}

// A snapshot of the output keeps the lines it was taken with, and sees the last of them
// grow as the model writes on; a model brought back to a snapshot writes on from there
// without changing what another snapshot holds.
TEST(HtmlModel, SnapshotsKeepTheirLinesWhileTheModelWritesOn) {
    HtmlModel html;
    html.addText("<p>one</p>\n<p>two");
    const CommonModelViewInfo first(html, nullptr, 0);
    html.addText("</p>\n<p>three</p>");
    EXPECT_EQ(shown(html), (QStringList{"<p>one</p>", "<p>two</p>", "<p>three</p>"}));

    html.clear();
    html.addText("<i>other file</i>");
    EXPECT_EQ(shown(html), (QStringList{"<i>other file</i>"}));
    const CommonModelViewInfo second(html, nullptr, 0);

    html.restoreCanvas(first);
    EXPECT_EQ(shown(html), (QStringList{"<p>one</p>", "<p>two</p>"}))
        << "the snapshot's lines, its last as it grew";
    html.addText("\n<b>more</b>");
    EXPECT_EQ(shown(html), (QStringList{"<p>one</p>", "<p>two</p>", "<b>more</b>"}));
    EXPECT_EQ(html.endPosition(), FilePosition(11, 3));

    html.restoreCanvas(second);
    EXPECT_EQ(shown(html), (QStringList{"<i>other file</i>"}));
    html.restoreCanvas(first);
    EXPECT_EQ(shown(html), (QStringList{"<p>one</p>", "<p>two</p>"}))
        << "writing on from a snapshot leaves it as it was";
    EXPECT_EQ(html.viewLine(2), "<p>two</p>");
    EXPECT_EQ(html.getLines().size(), 2u);
}

// A stack of open elements grows deep and shrinks again, page after page: the store holds
// no more room than at its deepest.
TEST(TextLines, GrowingAndShrinkingAgainHoldsNoMoreThanAtTheLongest) {
    TextLines lines;
    const QString tag = QStringLiteral("<div class=\"item\">");
    auto deepen = [&] {
        while (lines.size() < 150'000)
            lines.appendLine(lines.size() % 1000 == 0 ? QString() : tag);
        lines.appendToLast(QString(70'000, u'x')); // a line long enough for a block of its own
    };
    deepen();
    lines.truncate(10);
    const std::size_t first = lines.capacityBytes();
    deepen();
    const std::size_t deepest = lines.capacityBytes();
    for (int cycle = 0; cycle < 20; ++cycle) {
        lines.truncate(10);
        ASSERT_LE(lines.capacityBytes(), first) << "cycle " << cycle;
        deepen();
        ASSERT_LE(lines.capacityBytes(), deepest) << "cycle " << cycle;
    }
    EXPECT_EQ(toQString(lines.text(1)), tag);
    EXPECT_TRUE(lines.text(0).empty());
    EXPECT_EQ(lines.text(lines.size() - 1).size(), tag.size() + 70'000);
}

// Output in ASCII, as nearly all is, costs a byte a character; a character past Latin-1
// turns only the line that holds it into UTF-16.
TEST(TextLines, TextThatFitsLatin1IsKeptAByteACharacter) {
    TextLines lines;
    const QString line = QStringLiteral("<tr><td class=\"c\">cell</td></tr>         ");
    for (int i = 0; i < 100'000; ++i)
        lines.appendLine(line);
    const std::size_t chars = 100'000 * static_cast<std::size_t>(line.size());
    EXPECT_LT(lines.capacityBytes(), chars + chars / 2);
    EXPECT_FALSE(lines.text(5).isWide());

    lines.appendToLast(u"\u20ac");
    EXPECT_TRUE(lines.text(lines.size() - 1).isWide());
    EXPECT_EQ(toQString(lines.text(lines.size() - 1)), line + QChar(0x20ac));
    EXPECT_FALSE(lines.text(lines.size() - 2).isWide());
    EXPECT_EQ(toQString(lines.text(lines.size() - 2)), line);
}
