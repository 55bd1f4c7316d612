#include "pagerunner/expressionevaluator.h"
#include "pagerunner/htmlsplitter.h"
#include "pagerunner/jsptranslator.h"
#include "pagerunner/scriptletanalyzer.h"
#include "pagerunner/sourcemaplisting.h"
#include "tracehook/jspdebugcompileerrhandler.h"
#include "tracehook/jspsourceinfo.h"
#include "tracehook/jspsourcetable.h"
#include "translationcheck.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace pagerunner;
using tracehook::JspDebugCompileErrHandler;

namespace {

TranslatedPage translate(std::string text) {
    return JspTranslator::translate("/site/page.jsp", "/work/page_jsp.java", std::move(text));
}

struct Row {
    MappedLine::Role role;
    JspSpan span;
    std::string text;
};

std::vector<Row> rowsOf(const TranslatedPage& page) {
    std::vector<Row> rows;
    for (const MappedLine& m : page.mappedLines)
        rows.push_back({m.role, m.span, page.jspSource.substr(m.jspBegin, m.jspEnd - m.jspBegin)});
    return rows;
}

MATCHER_P3(IsRow, role, span, text, "") {
    return arg.role == role && arg.span == span && arg.text == text;
}

JspSpan span(int sl, int sc, int el, int ec) {
    return {{sl, sc}, {el, ec}};
}

using R = MappedLine::Role;

TEST(TranslatorSourceMap, SpansAreExactToTheColumnWithTabsCrLfAndUtf8) {
    const TranslatedPage page = translate("<p>\tA</p>\r\n"
                                          "<%! int hits = 0; %>\r\n"
                                          "\xC3\xA9<%= \"\xC3\xBC\" %>x\r\n"
                                          "<%\r\n"
                                          "  int a = 1;\r\n"
                                          "  a++; %>\r\n"
                                          "<%-- c --%><jsp:include page=\"x.jsp\"/>");
    ASSERT_FALSE(page.failed()) << *page.compileMessage;
    EXPECT_THAT(rowsOf(page),
                ::testing::ElementsAre(
                    IsRow(R::Declaration, span(2, 1, 2, 21), "<%! int hits = 0; %>"),
                    IsRow(R::Template, span(1, 1, 1, 11), "<p>\tA</p>"),
                    IsRow(R::Template, span(3, 1, 3, 2), "\xC3\xA9"),
                    IsRow(R::Expression, span(3, 2, 3, 12), "<%= \"\xC3\xBC\" %>"),
                    IsRow(R::Template, span(3, 12, 3, 13), "x"),
                    IsRow(R::Scriptlet, span(5, 3, 5, 13), "int a = 1;"),
                    IsRow(R::Scriptlet, span(6, 3, 6, 10), "a++; %>"),
                    IsRow(R::Comment, span(7, 1, 7, 12), "<%-- c --%>"),
                    IsRow(R::Include, span(7, 12, 7, 39), "<jsp:include page=\"x.jsp\"/>")));
}

TEST(TranslatorSourceMap, CharactersOutsideTheBasicPlaneTakeTwoColumnsAndLongLinesSurvive) {
    TranslatedPage page = translate("\xF0\x9F\x98\x80<%= 1 %>");
    EXPECT_THAT(rowsOf(page),
                ::testing::ElementsAre(IsRow(R::Template, span(1, 1, 1, 3), "\xF0\x9F\x98\x80"),
                                       IsRow(R::Expression, span(1, 3, 1, 11), "<%= 1 %>")));

    const std::string longText(100000, 'a');
    page = translate(longText + "<%= 2 %>" + longText);
    ASSERT_EQ(page.mappedLines.size(), 3u);
    EXPECT_EQ(page.mappedLines[1].span, span(1, 100001, 1, 100009));
    EXPECT_EQ(page.mappedLines[2].span, span(1, 100009, 1, 200009));
    EXPECT_EQ(page.statements[2].text, longText);
}

TEST(TranslatorSourceMap, LoneCarriageReturnsEndLinesAsTheMonitorReadsThem) {
    const TranslatedPage page = translate("a\rb\r\nc\nd");
    std::vector<int> lines;
    for (const MappedLine& m : page.mappedLines)
        lines.push_back(m.span.start.line);
    EXPECT_THAT(lines, ::testing::ElementsAre(1, 2, 3, 4));
    std::string html;
    for (const PageStatement& s : page.statements)
        html += s.text;
    EXPECT_EQ(html, "a\rb\r\nc\nd");
}

TEST(TranslatorServlet, MappedLinesStartWithTheInstrumentationCallOfTheirOwnLine) {
    const TranslatedPage page = translate("<b>\"x\"</b>\n<% int n = 2; %><%= n %>\n");
    ASSERT_TRUE(page.javaGenerated);
    for (const MappedLine& m : page.mappedLines) {
        const std::string& line = page.javaLines.at(static_cast<std::size_t>(m.javaLine - 1));
        EXPECT_TRUE(line.starts_with("vlmAgent.line(" + std::to_string(m.javaLine) + ");")) << line;
    }
    const std::string java = page.javaSource();
    EXPECT_THAT(java, ::testing::HasSubstr("public final class page_jsp"));
    EXPECT_THAT(java, ::testing::HasSubstr("public void _jspService("));
    EXPECT_THAT(java, ::testing::HasSubstr("out.write(\"<b>\\\"x\\\"</b>\\n\");"));
    EXPECT_THAT(java, ::testing::HasSubstr("int n = 2;"));
    EXPECT_THAT(java, ::testing::HasSubstr("out.print(n);"));
    // Only lines with a row carry the call.
    int calls = 0;
    for (const std::string& line : page.javaLines)
        calls += line.starts_with("vlmAgent.line(");
    EXPECT_EQ(calls, static_cast<int>(page.mappedLines.size()));
}

TEST(TranslatorServlet, BlankTemplateRunsSilentlyAndEscapedDelimitersPrintAsText) {
    const TranslatedPage page = translate("<% int a = 0; %>\n  \n<p><\\% not code %></p>");
    ASSERT_EQ(page.statements.size(), 4u);
    EXPECT_FALSE(page.statements[1].reported); // "\n"
    EXPECT_FALSE(page.statements[2].reported); // "  \n"
    EXPECT_TRUE(page.statements[3].reported);
    EXPECT_EQ(page.statements[3].text, "<p><% not code %></p>");
}

TEST(TranslatorControlFlow, CountedLoopsAreFoundWithTheLineThatClosesThem) {
    const TranslatedPage page = translate("<% for (int i = 2; i <= 5; i += 2) { %>\n"
                                          "<%= i %>\n"
                                          "<% if (i > 2) { %>x<% } %>\n"
                                          "<% } %>\n"
                                          "<% for (int k = 0; k < n; k++) { } %>\n");
    ASSERT_FALSE(page.failed()) << *page.compileMessage;
    const PageStatement& header = page.statements.front();
    ASSERT_TRUE(header.loop);
    EXPECT_EQ(header.loop->variable, "i");
    EXPECT_EQ(header.loop->from, "2");
    EXPECT_EQ(header.loop->to, "5");
    EXPECT_EQ(header.loop->compare, CountedLoop::Compare::LessEqual);
    EXPECT_EQ(header.loop->step, 2);
    EXPECT_EQ(page.statements.at(header.loopClose).text, "}");
    EXPECT_EQ(page.statements.at(header.loopClose).javaLine,
              page.mappedLines.at(page.mappedLines.size() - 2).javaLine);
    // A loop that opens and closes on one line is not repeated line by line.
    EXPECT_FALSE(page.statements.back().loop);
}

TEST(TranslatorControlFlow, LoopHeadersAndThrowsAreRecognisedOnlyInTheirCountedForms) {
    EXPECT_TRUE(ScriptletAnalyzer::parseLoopHeader("for (int i = 0; i < 10; i++) {"));
    EXPECT_TRUE(ScriptletAnalyzer::parseLoopHeader("for(long j=a;j>=0;--j){"));
    EXPECT_FALSE(ScriptletAnalyzer::parseLoopHeader("for (int i = 0; i < 10; i--) {"));
    EXPECT_FALSE(ScriptletAnalyzer::parseLoopHeader("for (int i = 0; j < 10; i++) {"));
    EXPECT_FALSE(ScriptletAnalyzer::parseLoopHeader("for (String s : list) {"));
    EXPECT_FALSE(ScriptletAnalyzer::parseLoopHeader("while (true) {"));

    EXPECT_EQ(ScriptletAnalyzer::parseThrow("throw new IllegalStateException(\"no \\\"x\\\"\");"),
              "IllegalStateException: no \"x\"");
    EXPECT_EQ(ScriptletAnalyzer::parseThrow("if (x) throw new java.io.IOException();"),
              "java.io.IOException");
    EXPECT_FALSE(ScriptletAnalyzer::parseThrow("String throwing = \"\";"));
    EXPECT_FALSE(ScriptletAnalyzer::parseThrow("rethrow new X();"));
    EXPECT_EQ(ScriptletAnalyzer::parseThrow("a(); throw  new  X ( \"m\" );"), "X: m");
}

TEST(TranslatorControlFlow, PrintCallsInScriptletsAreFound) {
    EXPECT_EQ(
        ScriptletAnalyzer::parsePrints(
            "out.println(\"a (b)\" + i); x.out.print(1); out.write(\")\"); out.print(f(1, 2))"),
        (std::vector<PrintCall>{{"\"a (b)\" + i", true}, {"\")\"", false}, {"f(1, 2)", false}}));
    EXPECT_TRUE(ScriptletAnalyzer::parsePrints("out.print(unclosed").empty());
    EXPECT_TRUE(ScriptletAnalyzer::parsePrints("about.print(1); out.flush();").empty());
}

TEST(TranslatorControlFlow, LocalsThatScriptletsSetAreFound) {
    EXPECT_EQ(ScriptletAnalyzer::parseAssignments(
                  "int n = 2 * 3; String s = \"a;b = c\"; n = n + 1; String[] xs = f(); } "
                  "total=total+i; // k = 1;"),
              (std::vector<Assignment>{{"int", "n", "2 * 3"},
                                       {"String", "s", "\"a;b = c\""},
                                       {"", "n", "n + 1"},
                                       {"String[]", "xs", "f()"},
                                       {"", "total", "total+i"}}));
    // Comparisons, calls, fields, array elements, compound updates and loops set no local.
    for (const char* code : {"if (a == b) x();", "f(a = 1);", "this.x = 1;", "xs[0] = 1;",
                             "n += 2;", "for (int i = 0; i < 3; i++) {", "return;", "a == 3;",
                             "int n;", "List<String> l = new ArrayList<>();"})
        EXPECT_TRUE(ScriptletAnalyzer::parseAssignments(code).empty()) << code;
}

TEST(TranslatorControlFlow, IncludeDirectivesRunTheirFileAsAnInclude) {
    const TranslatedPage page = translate("<%@ include file=\"part.jsp\" %>\n");
    ASSERT_FALSE(page.statements.empty());
    EXPECT_EQ(page.statements[0].kind, PageStatement::Kind::Include);
    EXPECT_EQ(page.statements[0].text, "part.jsp");
    EXPECT_TRUE(page.statements[0].reported);
    EXPECT_EQ(page.mappedLines[0].span, span(1, 1, 1, 31));
}

TEST(TranslatorControlFlow, VeryLongCodeLinesAreReadInFull) {
    const std::string bound(5000, '9');
    auto loop = ScriptletAnalyzer::parseLoopHeader("for (int i = 0; i < " + bound + "; i++) {");
    ASSERT_TRUE(loop);
    EXPECT_EQ(loop->to, bound);
    const std::string message(5000, 'x');
    EXPECT_EQ(ScriptletAnalyzer::parseThrow("throw new E(\"" + message + "\");"), "E: " + message);
}

TEST(TranslatorErrors, UnclosedElementsGiveOneJspErrorInThePageCompilersForm) {
    struct Case {
        std::string text;
        std::string message;
    } cases[] = {
        {"ab\n  <% int x;", "2,3: Unterminated <% scriptlet, no closing %>\n"},
        {"<%= x", "1,1: Unterminated <%= expression, no closing %>\n"},
        {"x\n\n\t<%-- <% %>", "3,3: Unterminated <%-- comment, no closing --%>\n"},
        // A message holding a colon is quoted, so that it still reads as a JSP error.
        {"<jsp:include />", "1,1:\"<jsp:include> needs a page attribute\"\n"},
        {"<%=  %>", "1,1: Empty expression in <%= %>\n"},
    };
    for (const Case& c : cases) {
        const TranslatedPage page = translate(c.text);
        ASSERT_TRUE(page.failed()) << c.text;
        EXPECT_FALSE(page.javaGenerated);
        EXPECT_EQ(*page.compileMessage, c.message);
    }
}

TEST(TranslatorErrors, JspErrorsReachTheMonitorThroughTheErrorHandler) {
    const TranslatedPage page = translate("<p>\n<p>\n  <%= 1");
    JspDebugCompileErrHandler handler(page.jspPath, page.javaPath, page.compileMessage);
    ASSERT_EQ(handler.getComErrInfoLstMaxIndex(), 0);
    EXPECT_EQ(handler.getFileInfoStr(4), "%M4&/site/page.jsp");
    EXPECT_EQ(handler.getLineInfoStr(4, 0),
              "%P4&2&1&1&3&3&4&0& Unterminated <%= expression, no closing %>&14");
}

TEST(TranslatorErrors, UnbalancedBracesGiveJavaErrorsOnTheGeneratedFile) {
    const TranslatedPage page = translate("<% } %>\n<% if (a) { %>\n<%\n  while (b) {\n%>");
    ASSERT_TRUE(page.failed());
    EXPECT_TRUE(page.javaGenerated);
    const std::string& message = *page.compileMessage;
    EXPECT_THAT(message, ::testing::StartsWith("/work/page_jsp.java:"));
    EXPECT_THAT(message, ::testing::EndsWith("3 errors\n"));

    auto table = std::make_shared<tracehook::JspSourceTable>(page.jspPath, page.javaPath);
    for (const MappedLine& m : page.mappedLines)
        table->add(m.javaLine, m.span.start.line, m.span.start.column, m.span.end.line,
                   m.span.end.column);
    JspDebugCompileErrHandler handler(page.jspPath, page.javaPath, page.compileMessage);
    handler.saveSourceTbl(table);
    ASSERT_EQ(handler.getComErrInfoLstMaxIndex(), 2);
    EXPECT_FALSE(handler.getIsOnlyJspErr());
    EXPECT_EQ(handler.getFileInfoStr(1), "%M1&/site/page.jsp&/work/page_jsp.java");

    // Each error lands on the JSP span of its brace's line, with the brace's Java column.
    const int extraClose = page.mappedLines[0].javaLine;
    const int openIf = page.mappedLines[1].javaLine;
    const int openWhile = page.mappedLines[2].javaLine;
    const auto& lines = page.javaLines;
    auto column = [&](int javaLine, char brace) {
        return std::to_string(lines[static_cast<std::size_t>(javaLine - 1)].find(brace) + 1);
    };
    EXPECT_EQ(handler.getLineInfoStr(1, 0), "%P1&3&" + std::to_string(extraClose) + "&" +
                                                column(extraClose, '}') +
                                                "&1&1&1&8& error: '}' without a matching '{'&12");
    EXPECT_EQ(handler.getLineInfoStr(1, 1),
              "%P1&3&" + std::to_string(openIf) + "&" + column(openIf, '{') +
                  "&2&1&2&15& error: '{' is never closed (reached end of file while parsing)&11");
    EXPECT_EQ(handler.getLineInfoStr(1, 2),
              "%P1&3&" + std::to_string(openWhile) + "&" + column(openWhile, '{') +
                  "&4&3&4&14& error: '{' is never closed (reached end of file while parsing)&13");
}

TEST(TranslatorErrors, BracesInsideLiteralsAndCommentsDoNotCount) {
    const TranslatedPage page = translate("<% String s = \"{\"; char c = '}'; // {\n /* } */ %>");
    EXPECT_FALSE(page.failed()) << *page.compileMessage;
}

TEST(SourceMapListingFormat, RowsReadBackAsWritten) {
    const TranslatedPage page = translate("a\tb\\c\n<%= x %>\n");
    auto rows = SourceMapListing::read(SourceMapListing::write(page));
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->size(), 2u);
    EXPECT_EQ((*rows)[0].jspText, "a\tb\\c");
    EXPECT_EQ((*rows)[0].span, span(1, 1, 1, 7)); // the tab takes two columns
    EXPECT_EQ((*rows)[0].role, "template");
    EXPECT_EQ((*rows)[1].javaLine, page.mappedLines[1].javaLine);
    EXPECT_FALSE(SourceMapListing::read("12\tnot a span\ttemplate\tx\n"));
    EXPECT_EQ(SourceMapListing::pathFor("/w/a_jsp.java"), "/w/a_jsp.map");
}

TEST(HtmlPieces, StayBoundedWholeCharactersAndNeverCarryTheTerminator) {
    auto joined = [](const std::vector<std::string_view>& pieces) {
        std::string out;
        for (std::string_view p : pieces)
            out += p;
        return out;
    };
    const std::string withTerminator = "a%%%END%%%b%%%END";
    const auto pieces = HtmlSplitter::split(withTerminator);
    EXPECT_EQ(joined(pieces), withTerminator);
    for (std::string_view p : pieces) {
        const std::string framed = std::string(p) + "%%%END%%%";
        EXPECT_EQ(framed.find("%%%END%%%"), p.size()) << p; // only the real terminator
    }

    const std::string accents = "\xC3\xA9\xC3\xA9\xC3\xA9x";
    const auto small = HtmlSplitter::split(accents, 5);
    EXPECT_EQ(joined(small), accents);
    for (std::string_view p : small) {
        EXPECT_LE(p.size(), 5u);
        EXPECT_NE(static_cast<unsigned char>(p.front()) & 0xC0, 0x80);
    }
    EXPECT_EQ(HtmlSplitter::split(std::string(3 * 1024 * 1024, 'h')).size(), 3u);
    EXPECT_TRUE(HtmlSplitter::split("").empty());
}

TEST(TranslatorRobustness, RandomPagesKeepTheSourceMapAndErrorsReadable) {
    // Pieces that make up pages, good and bad, mixed at random.
    const std::vector<std::string> pieces{"<%",
                                          "%>",
                                          "<%=",
                                          "<%!",
                                          "<%@ page import=\"a.b\" ",
                                          "<%--",
                                          "--%>",
                                          "{",
                                          "}",
                                          " ",
                                          "\t",
                                          "\n",
                                          "\r\n",
                                          "\r",
                                          "x",
                                          "\xC3\xA9",
                                          "\xF0\x9F\x98\x80",
                                          "\xFF",
                                          "\"",
                                          "'",
                                          "//",
                                          "/*",
                                          "*/",
                                          "for (int i = 0; i < 3; i++) {",
                                          "throw new E(\"m\");",
                                          "<jsp:include page=\"a.jsp\"/>",
                                          "<jsp:include ",
                                          "&",
                                          ":",
                                          ",",
                                          "%%%END%%%"};
    std::uint32_t seed = 12345;
    auto next = [&] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    for (int round = 0; round < 3000; ++round) {
        std::string page;
        const int count = static_cast<int>(next() % 40);
        for (int i = 0; i < count; ++i)
            page += pieces[next() % pieces.size()];
        std::optional<std::string> fault = testsupport::findTranslationFault(page);
        ASSERT_FALSE(fault) << *fault << "\npage: " << page;
    }
}

TEST(ExpressionEvaluation, PrintsValuesItCanComputeAndPlaceholdersForTheRest) {
    std::map<std::string, std::string> params{{"user", "Ann"}, {"n", "7"}};
    ExpressionEvaluator eval(
        [](std::string_view name) -> std::optional<std::int64_t> {
            if (name == "i")
                return 3;
            return std::nullopt;
        },
        params);
    EXPECT_EQ(eval.print("i"), "3");
    EXPECT_EQ(eval.print("i * i + 1"), "10");
    EXPECT_EQ(eval.print("(i + 1) * -2"), "-8");
    EXPECT_EQ(eval.print("\"Row \" + i"), "Row 3");
    EXPECT_EQ(eval.print("request.getParameter(\"user\")"), "Ann");
    EXPECT_EQ(eval.print("request.getParameter(\"none\")"), "null");
    EXPECT_EQ(eval.evaluateInteger("Integer.parseInt(request.getParameter(\"n\")) + i"), 10);
    EXPECT_EQ(eval.print("i / 0"), "[i / 0]");
    EXPECT_EQ(eval.print("new java.util.Date()"), "[new java.util.Date()]");
    EXPECT_EQ(eval.print("a < b && c"), "[a &lt; b &amp;&amp; c]");
    EXPECT_EQ(eval.print(std::string(1000, '(') + "1" + std::string(1000, ')')),
              "[" + std::string(1000, '(') + "1" + std::string(1000, ')') + "]");
}

} // namespace
