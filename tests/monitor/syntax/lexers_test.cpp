#include "lexedtext.h"
#include "syntax/htmllexer.h"
#include "syntax/javalexer.h"
#include "syntax/jsplexer.h"

#include <map>
#include <random>

using namespace tracewin::syntax;
using syntaxtest::LexedText;
using K = TokenKind;

namespace {

LexedText java(std::vector<std::u16string> lines) {
    static const JavaLexer lexer;
    return LexedText(lexer, std::move(lines));
}
LexedText html(std::vector<std::u16string> lines) {
    static const HtmlLexer lexer;
    return LexedText(lexer, std::move(lines));
}
LexedText jsp(std::vector<std::u16string> lines) {
    static const JspLexer lexer;
    return LexedText(lexer, std::move(lines));
}

TEST(JavaLexer, KeywordsLiteralsAndAnnotations) {
    const LexedText t = java({u"@Override public int size() { return 0x1F + 1.5e-3f + count; }",
                              u"String s = \"say \\\"hi\\\" // not a comment\"; char c = '\\'';",
                              u"boolean interfaceLike = true; Object o = null; // done"});
    ASSERT_TRUE(t.tiles());
    EXPECT_EQ(t.at(u"@Override"), K::Annotation);
    EXPECT_EQ(t.at(u"public"), K::Keyword);
    EXPECT_EQ(t.at(u"int"), K::Keyword);
    EXPECT_EQ(t.at(u"size"), K::Text);
    EXPECT_EQ(t.at(u"0x1F"), K::Number);
    EXPECT_EQ(t.at(u"1.5e-3f"), K::Number);
    EXPECT_EQ(t.at(u"count"), K::Text);
    EXPECT_EQ(t.at(1, u"\"say \\\"hi\\\" // not a comment\""), K::String);
    EXPECT_EQ(t.at(1, u"'\\''"), K::String);
    EXPECT_EQ(t.at(1, u"char"), K::Keyword);
    EXPECT_EQ(t.at(2, u"interfaceLike"), K::Text) << "a keyword's prefix is no keyword";
    EXPECT_EQ(t.at(2, u"true"), K::Keyword);
    EXPECT_EQ(t.at(2, u"null"), K::Keyword);
    EXPECT_EQ(t.at(2, u"// done"), K::Comment);
}

TEST(JavaLexer, ConstructsAcrossAndAtTheEndOfLines) {
    const LexedText t =
        java({u"int a; /* starts here", u"   still a comment * / */ int b;",
              u"String open = \"never closed", u"int c; // to the end \"x\"",
              u"String block = \"\"\"", u"   text \"quoted\" int", u"   \"\"\"; d++;"});
    ASSERT_TRUE(t.tiles());
    EXPECT_EQ(t.at(0, u"/* starts here"), K::Comment);
    EXPECT_EQ(t.states[0], JavaLexer::BlockComment);
    EXPECT_EQ(t.at(1, u"still a comment * / */"), K::Comment);
    EXPECT_EQ(t.at(1, u"int"), K::Keyword);
    EXPECT_EQ(t.at(2, u"\"never closed"), K::String);
    EXPECT_EQ(t.states[2], JavaLexer::Code) << "a string ends with its line";
    EXPECT_EQ(t.at(3, u"int"), K::Keyword);
    EXPECT_EQ(t.at(3, u"// to the end \"x\""), K::Comment);
    EXPECT_EQ(t.at(4, u"\"\"\""), K::String);
    EXPECT_EQ(t.at(5, u"   text \"quoted\" int"), K::String);
    EXPECT_EQ(t.at(6, u"   \"\"\""), K::String);
    EXPECT_EQ(t.at(6, u"d"), K::Text);
}

TEST(HtmlLexer, TagsAttributesValuesAndEntities) {
    const LexedText t =
        html({u"<!DOCTYPE html><a href=\"x.html?a=1&amp;b\" class='c' hidden data-n=5>Tom &amp; "
              u"Jerry &nope a<b>3 < 4</b></a>"});
    ASSERT_TRUE(t.tiles());
    EXPECT_EQ(t.at(u"<!DOCTYPE html>"), K::Tag);
    EXPECT_EQ(t.at(u"<a"), K::Tag);
    EXPECT_EQ(t.at(u"href"), K::Attribute);
    EXPECT_EQ(t.at(u"\"x.html?a=1&amp;b\""), K::AttributeValue);
    EXPECT_EQ(t.at(u"'c'"), K::AttributeValue);
    EXPECT_EQ(t.at(u"hidden"), K::Attribute);
    EXPECT_EQ(t.at(u"5"), K::AttributeValue);
    EXPECT_EQ(t.at(u"Tom "), K::Text);
    EXPECT_EQ(t.at(u"&amp;", 1), K::Entity);
    EXPECT_EQ(t.at(u"&nope"), K::Text) << "no ';': not an entity";
    EXPECT_EQ(t.at(u"<b"), K::Tag);
    EXPECT_EQ(t.at(u"3 < 4"), K::Text) << "a '<' before a blank is text";
    EXPECT_EQ(t.at(u"</b>"), K::Tag);
    EXPECT_EQ(t.at(u"</a>"), K::Tag);
}

TEST(HtmlLexer, CommentsTagsAndScriptsAcrossLines) {
    const LexedText t =
        html({u"<p>text <!-- a <b>comment</b>", u" goes on --> after <img", u"   src=\"long",
              u"value\" alt=x>", u"<script>if (a<b && c>d) x();", u"</SCRIPT><i>"});
    ASSERT_TRUE(t.tiles());
    EXPECT_EQ(t.at(0, u"<!-- a <b>comment</b>"), K::Comment);
    EXPECT_EQ(t.at(1, u" goes on -->"), K::Comment);
    EXPECT_EQ(t.at(1, u"after"), K::Text);
    EXPECT_EQ(t.at(1, u"<img"), K::Tag);
    EXPECT_EQ(t.at(2, u"src"), K::Attribute);
    EXPECT_EQ(t.at(2, u"\"long"), K::AttributeValue);
    EXPECT_EQ(t.at(3, u"value\""), K::AttributeValue);
    EXPECT_EQ(t.at(3, u"alt"), K::Attribute);
    EXPECT_EQ(t.at(4, u"if (a<b && c>d) x();"), K::Text) << "a script's text is no markup";
    EXPECT_EQ(t.at(5, u"</SCRIPT>"), K::Tag);
    EXPECT_EQ(t.at(5, u"<i>"), K::Tag);
}

// A line of random pieces, at most `most` - 1 of them.
template <std::size_t N>
std::u16string randomLine(std::mt19937& random, const std::u16string (&pieces)[N], unsigned most) {
    std::u16string line;
    for (auto count = random() % most; count > 0; --count)
        line += pieces[random() % N];
    return line;
}

// The state the line's tokens leave, taken one by one from `start`.
State stateByTokens(const Lexer& lexer, std::u16string_view line, State start) {
    State state = start;
    for (std::size_t pos = 0; pos < line.size();)
        pos = std::max(lexer.next(line, pos, state).end, pos + 1);
    return state;
}

// The state after a line, whichever way it is found, is the one its tokens leave: from every
// start state, over lines of markup pieces that open and close every construct.
TEST(HtmlLexer, TheStateAfterALineIsTheOneItsTokensLeave) {
    static const std::u16string kPieces[] = {u"<div class=\"a\">",
                                             u"text &amp; more",
                                             u"&",
                                             u"<",
                                             u"</",
                                             u"<!-- c",
                                             u"-->",
                                             u">",
                                             u"/>",
                                             u"=",
                                             u"\"",
                                             u"'",
                                             u"<!DOCTYPE html",
                                             u"<?xml",
                                             u"<script>",
                                             u"</script>",
                                             u"<STYLE>",
                                             u"</style",
                                             u"a<b",
                                             u"<%= x %>",
                                             u"${m}",
                                             u" ",
                                             u"<p",
                                             u"x=1",
                                             std::u16string(1100, u'x'),
                                             u"<a href='/u'>"};
    // As a JSP page's template text, the lexer takes every token.
    const HtmlLexer plain;
    const HtmlLexer jspTemplate(true);
    const HtmlLexer* lexers[] = {&plain, &jspTemplate};
    std::mt19937 random(7);
    for (int n = 0; n < 400; ++n) {
        const std::u16string line = randomLine(random, kPieces, 8);
        for (State raw = 0; raw <= 2; ++raw) {
            for (State mode = HtmlLexer::Content; mode <= HtmlLexer::RawText; ++mode) {
                const State start = mode | (raw << HtmlLexer::RAW_SHIFT);
                for (const HtmlLexer* lexer : lexers) {
                    EXPECT_EQ(lexer->stateAfter(line, 0, start), stateByTokens(*lexer, line, start))
                        << "line " << n << ", start state " << start;
                }
            }
        }
    }
}

// Lexing up to a column stops at the end of a token the walk token by token takes, at or
// before the column, with the state the walk has there; given the line's end, at the end.
TEST(HtmlLexer, AdvancingToAColumnStopsWhereTheTokensDo) {
    const std::u16string kPieces[] = {
        u"<td>",   u"</td>", u"text &amp; ", u"<a href=\"x\">",
        u"<!-- c", u"-->",   u"<script>",    u"</script>",
        u"&",      u"<",     u"\"",          std::u16string(1100, u'x')};
    const HtmlLexer plain;
    const HtmlLexer jspTemplate(true);
    std::mt19937 random(13);
    for (int n = 0; n < 400; ++n) {
        const std::u16string line = randomLine(random, kPieces, 8);
        const std::size_t limit = random() % (line.size() + 2);
        const State start = static_cast<State>(random() % (HtmlLexer::RawText + 1)) |
                            static_cast<State>((random() % 3) << HtmlLexer::RAW_SHIFT);
        for (const HtmlLexer* lexer : {&plain, &jspTemplate}) {
            // Where the walk's tokens end, and the state after each.
            std::map<std::size_t, State> walked{{0, start}};
            State state = start;
            for (std::size_t pos = 0; pos < line.size();) {
                pos = std::max(lexer->next(line, pos, state).end, pos + 1);
                walked[pos] = state;
            }
            State advanced = start;
            const std::size_t stop = lexer->advance(line, 0, advanced, limit);
            ASSERT_TRUE(walked.contains(stop)) << "line " << n << ", limit " << limit;
            EXPECT_LE(stop, limit) << "line " << n;
            EXPECT_EQ(advanced, walked[stop]) << "line " << n << ", limit " << limit;
            State toTheEnd = start;
            EXPECT_EQ(lexer->advance(line, 0, toTheEnd, line.size()), line.size());
            EXPECT_EQ(toTheEnd, state) << "line " << n;
        }
    }
}

// Tags of a name alone are taken in one step by stateAfter: names of every case, those of
// the elements whose text is no markup, and names as long as a run may be.
TEST(HtmlLexer, TheStateAfterTagsOfANameAloneIsTheOneTheirTokensLeave) {
    const std::u16string longName(HtmlLexer::MAX_RUN - 3, u'n');
    const std::u16string kPieces[] = {u"<td>",
                                      u"</TD>",
                                      u"<b>",
                                      u"</b >",
                                      u"<script>",
                                      u"</script>",
                                      u"<sCrIpT>",
                                      u"<Style>",
                                      u"<styles>",
                                      u"<scrip>",
                                      u"<1>",
                                      u"</>",
                                      u"x",
                                      u"<",
                                      u"\"",
                                      u"=",
                                      u"<" + longName + u">",
                                      u"<x" + longName + u">",
                                      u"</x" + longName + u"yz>"};
    const HtmlLexer lexer;
    std::mt19937 random(3);
    for (int n = 0; n < 600; ++n) {
        const std::u16string line = randomLine(random, kPieces, 6);
        for (State raw = 0; raw <= 2; ++raw) {
            for (State mode = HtmlLexer::Content; mode <= HtmlLexer::RawText; ++mode) {
                const State start = mode | (raw << HtmlLexer::RAW_SHIFT);
                EXPECT_EQ(lexer.stateAfter(line, 0, start), stateByTokens(lexer, line, start))
                    << "line " << n << ", start state " << start;
            }
        }
    }
}

TEST(JspLexer, ElementsOnTemplateText) {
    const LexedText t =
        jsp({u"<%@ page import=\"java.util.*\" %><h1 title=\"%>\"><%= user.getName() %></h1>",
             u"<%! int count = 0; %><% for (int i = 0; i < 3; i++) { %>",
             u"<li>${item.name} \\${literal} #{bean.value}</li><%-- note <%= x %> --%>"});
    ASSERT_TRUE(t.tiles());
    EXPECT_EQ(t.at(u"<%@"), K::JspDelimiter);
    EXPECT_EQ(t.at(u"page"), K::Directive);
    EXPECT_EQ(t.at(u"import"), K::Attribute);
    EXPECT_EQ(t.at(u"\"java.util.*\""), K::AttributeValue);
    EXPECT_EQ(t.at(u"%>"), K::JspDelimiter);
    EXPECT_EQ(t.at(u"<h1"), K::Tag);
    EXPECT_EQ(t.at(u"\"%>\""), K::AttributeValue) << "\"%>\" in template text is text";
    EXPECT_EQ(t.at(u"<%="), K::JspDelimiter);
    EXPECT_EQ(t.at(u"user"), K::Script);
    EXPECT_EQ(t.at(u"%>", 2), K::JspDelimiter);
    EXPECT_EQ(t.at(u"</h1>"), K::Tag);
    EXPECT_EQ(t.at(1, u"<%!"), K::JspDelimiter);
    EXPECT_EQ(t.at(1, u"int"), K::Keyword);
    EXPECT_EQ(t.at(1, u"for"), K::Keyword);
    EXPECT_EQ(t.at(1, u"3"), K::Number);
    EXPECT_EQ(t.at(2, u"<li>"), K::Tag);
    EXPECT_EQ(t.at(2, u"${"), K::JspDelimiter);
    EXPECT_EQ(t.at(2, u"item.name"), K::El);
    EXPECT_EQ(t.at(2, u"\\${literal}"), K::Text) << "an escaped expression is text";
    EXPECT_EQ(t.at(2, u"bean.value"), K::El);
    EXPECT_EQ(t.at(2, u"<%-- note <%= x %> --%>"), K::JspComment);
}

TEST(JspLexer, ElementsInsideTagsAndValues) {
    const LexedText t = jsp({u"<a href=\"${ctx}/item?id=<%= id %>\" class=\"x\">${m[\"}\"]}</a>",
                             u"<jsp:include page=\"footer.jsp\"/><c:forEach items=\"${list}\">",
                             u"</c:forEach><jsp:param name='a' value='b'/>"});
    ASSERT_TRUE(t.tiles());
    EXPECT_EQ(t.at(u"href"), K::Attribute);
    EXPECT_EQ(t.at(u"\""), K::AttributeValue);
    EXPECT_EQ(t.at(u"ctx"), K::El);
    EXPECT_EQ(t.at(u"/item?id="), K::AttributeValue) << "the value goes on after the expression";
    EXPECT_EQ(t.at(u"id "), K::Script);
    EXPECT_EQ(t.at(u"class"), K::Attribute);
    EXPECT_EQ(t.at(u"\"}\""), K::String) << "a '}' in a string does not end the expression";
    EXPECT_EQ(t.at(u"]"), K::El);
    EXPECT_EQ(t.at(u"</a>"), K::Tag);
    EXPECT_EQ(t.at(1, u"<jsp:include"), K::CustomTag);
    EXPECT_EQ(t.at(1, u"page"), K::Attribute);
    EXPECT_EQ(t.at(1, u"<c:forEach"), K::CustomTag);
    EXPECT_EQ(t.at(1, u"list"), K::El);
    EXPECT_EQ(t.at(2, u"</c:forEach"), K::CustomTag);
    EXPECT_EQ(t.at(2, u"'b'"), K::AttributeValue);
}

TEST(JspLexer, ScriptletsEndAtTheFirstEndMarkAndRunAcrossLines) {
    const LexedText t =
        jsp({u"<% String s = \"a %> b\"; %>", u"<% String e = \"a %\\> b\"; /* open",
             u"   comment %> still template */ <b>", u"<% if (x) {", u"   y(); // done",
             u"} %><%-- open comment", u"<%= not code %> --%><i>"});
    ASSERT_TRUE(t.tiles());
    // As the page compiler reads it: the string's "%>" ends the scriptlet.
    EXPECT_EQ(t.at(u"\"a "), K::String);
    EXPECT_EQ(t.at(u"%>"), K::JspDelimiter);
    EXPECT_EQ(t.at(u" b"), K::Text);
    EXPECT_EQ(t.at(1, u"\"a %\\> b\""), K::String) << "%\\> is the quoted form";
    EXPECT_EQ(t.at(1, u"/* open"), K::Comment);
    EXPECT_EQ(t.at(2, u"   comment "), K::Comment);
    EXPECT_EQ(t.at(2, u"%>"), K::JspDelimiter);
    EXPECT_EQ(t.at(2, u"still template */ "), K::Text);
    EXPECT_EQ(t.at(2, u"<b>"), K::Tag);
    EXPECT_EQ(t.at(4, u"y"), K::Script);
    EXPECT_EQ(t.at(4, u"// done"), K::Comment);
    EXPECT_EQ(t.at(5, u"}"), K::Script);
    EXPECT_EQ(t.at(5, u"%>"), K::JspDelimiter);
    EXPECT_EQ(t.at(5, u"<%-- open comment"), K::JspComment);
    EXPECT_EQ(t.at(6, u"<%= not code %> --%>"), K::JspComment);
    EXPECT_EQ(t.at(6, u"<i>"), K::Tag);
}

TEST(JspLexer, UnterminatedConstructsAtTheEndOfTheText) {
    for (const std::u16string& line :
         {std::u16string(u"<%"), std::u16string(u"<%="), std::u16string(u"<%@ page x=\"y"),
          std::u16string(u"${a \"b"), std::u16string(u"<%-- x --"), std::u16string(u"<a href='"),
          std::u16string(u"<"), std::u16string(u"&"), std::u16string(u"<% \"%"),
          std::u16string(u"<!--"), std::u16string(u"\\"), std::u16string(u"$"),
          std::u16string(u"<% /* x *")}) {
        const LexedText t = jsp({line, line});
        EXPECT_TRUE(t.tiles()) << std::string(line.begin(), line.end());
    }
}

} // namespace
