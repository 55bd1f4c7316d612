// Jasper's compile errors read from Tomcat's error pages, captured from a real Tomcat and
// live from one, and turned into the monitor's compile-error records.
//
// The captured pages in data/errors/captured are the bodies a real Tomcat gave for the
// pages in data/errors/webapp. To capture them again, run the real-Tomcat test with
// TOMCATRUNNER_CAPTURE_ERROR_PAGES set to a folder: it writes one PAGE.html per page there.
#include "tomcatrunner/httpexchange.h"
#include "tomcatrunner/jaspererrors.h"
#include "tomcatrunner/managedtomcat.h"
#include "tracehook/compileerrorcodes.h"
#include "tracehook/jspsourceinfo.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

#include "tempdir.h"
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace tomcatrunner {

void PrintTo(const JasperError& e, std::ostream* os) {
    *os << "{kind " << static_cast<int>(e.kind) << ", " << e.file << ":" << e.line << ":"
        << (e.column ? std::to_string(*e.column) : "-") << ", \"" << e.message << "\", "
        << e.includedFrom.size() << " include(s)" << (e.generated ? ", generated" : "") << "}";
}

} // namespace tomcatrunner

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace tomcatrunner;
using tracehook::CompileErrorCodes;
using tracehook::infoStrParser;
using tracehook::JspSourceInfo;
using Kind = JasperErrorKind;

const fs::path dataDir = TOMCATRUNNER_ERRORS_DATA;
const fs::path webappDir = dataDir / "webapp";
const fs::path capturedDir = dataDir / "captured";

constexpr std::string_view fullwidthAmpersand = "\xEF\xBC\x86";
constexpr std::string_view fullwidthPercent = "\xEF\xBC\x85";

struct TempDir : tomcattest::TempDir {
    TempDir() : tomcattest::TempDir("jaspererrors-test") {}
};

std::string readFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

JasperError error(Kind kind, std::string file, int line, std::optional<int> column,
                  std::string message, std::vector<JasperPlace> includedFrom = {}) {
    JasperError e;
    e.kind = kind;
    e.file = std::move(file);
    e.line = line;
    e.column = column;
    e.message = std::move(message);
    e.includedFrom = std::move(includedFrom);
    return e;
}

// Where the monitor is to show one error.
struct ExpectedRecord {
    int errType;
    int javaLine;
    int startLine, startColumn, endLine, endColumn;
    std::string messageStart;
};

// Checks the records built for a page against what the monitor should show, as the monitor
// reads them back.
void expectRecords(const CompileErrorRecords& records, const fs::path& shownFile,
                   std::optional<fs::path> javaFile, const std::vector<ExpectedRecord>& expected) {
    const std::optional<JspSourceInfo> file = infoStrParser(records.fileRecord);
    ASSERT_TRUE(file) << records.fileRecord;
    EXPECT_EQ(file->getInfoType(), JspSourceInfo::COMPILE_ERR_FILE_INFO);
    EXPECT_EQ(file->getFileIdStr(), "7");
    EXPECT_EQ(file->getJspSourceFilename(), shownFile.string());
    EXPECT_EQ(file->getJavaSourceFilename(),
              javaFile ? std::optional(javaFile->string()) : std::nullopt);

    ASSERT_EQ(records.errorRecords.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const std::string& record = records.errorRecords[i];
        const ExpectedRecord& want = expected[i];
        EXPECT_EQ(record.find(JspSourceInfo::infoEndingToken), std::string::npos) << record;
        const std::optional<JspSourceInfo> got = infoStrParser(record);
        ASSERT_TRUE(got) << record;
        EXPECT_EQ(got->getInfoType(), JspSourceInfo::COMPILE_ERR_LINE_INFO);
        EXPECT_EQ(got->getFileIdStr(), "7");
        EXPECT_EQ(got->getErrType(), want.errType) << record;
        EXPECT_EQ(got->getJavaLine(), want.javaLine) << record;
        EXPECT_EQ(got->getJspStartLine(), want.startLine) << record;
        EXPECT_EQ(got->getJspStartPos(), want.startColumn) << record;
        EXPECT_EQ(got->getJspEndLine(), want.endLine) << record;
        EXPECT_EQ(got->getJspEndPos(), want.endColumn) << record;
        EXPECT_TRUE(got->getErrMsg().value_or("").starts_with(want.messageStart)) << record;
        const int position = expected.size() == 1       ? CompileErrorCodes::FIRST_AND_LAST_ERR
                             : i == 0                   ? CompileErrorCodes::FIRST_ERR
                             : i + 1 == expected.size() ? CompileErrorCodes::LAST_ERR
                                                        : CompileErrorCodes::NORMAL_ERR;
        EXPECT_EQ(got->getErrStatus(), position) << record;
    }
}

// ---- The broken pages of data/errors/webapp, and what Tomcat says about them ----

struct BrokenPage {
    std::string page;
    std::vector<JasperError> errors;
    int generatedLine = 0; // of the first error, when Jasper names a line of the servlet
    std::string shownFile; // below the webapp: the file the monitor shows
    std::vector<ExpectedRecord> records;
};

void PrintTo(const BrokenPage& page, std::ostream* os) {
    *os << page.page;
}

const int jsp = CompileErrorCodes::JSP_ERR;
const int java = CompileErrorCodes::JAVA_ERR;

// Jasper's columns count from 1 on line 1 and from 0 below; its pages are ISO-8859-1 unless
// they say otherwise (one character per byte of "Größe"). The monitor counts from 1, a tab
// as two columns, one per UTF-16 unit.
const std::vector<BrokenPage> brokenPages = {
    {"syntax-line1.jsp",
     {error(Kind::Jsp, "/syntax-line1.jsp", 1, 15, "Unterminated [<%=] tag")},
     0,
     "syntax-line1.jsp",
     {{jsp, 1, 1, 14, 2, 0, "Unterminated [<%=] tag"}}},
    {"syntax-error.jsp", // UTF-8, and a tab before the error
     {error(Kind::Jsp, "/syntax-error.jsp", 5, 14, "Unterminated [<%=] tag")},
     0,
     "syntax-error.jsp",
     {{jsp, 1, 5, 16, 6, 0, "Unterminated [<%=] tag"}}},
    {"java-error.jsp",
     {error(Kind::Java, "/java-error.jsp", 6, std::nullopt,
            "Type mismatch: cannot convert from String to int")},
     0,
     "java-error.jsp",
     {{java, 0, 6, 1, 7, 0, "Type mismatch: cannot convert from String to int"}}},
    {"two-java-errors.jsp",
     {error(Kind::Java, "/two-java-errors.jsp", 4, std::nullopt,
            "undefinedThing cannot be resolved to a variable"),
      error(Kind::Java, "/two-java-errors.jsp", 5, std::nullopt,
            "The operator && is undefined for the argument type(s) int, int")},
     0,
     "two-java-errors.jsp",
     {{java, 0, 4, 1, 5, 0, "undefinedThing cannot be resolved"},
      {java, 0, 5, 1, 6, 0,
       "The operator " + std::string(fullwidthAmpersand) + std::string(fullwidthAmpersand) +
           " is undefined"}}},
    {"el-error.jsp", // on the expression, after a tab
     {error(Kind::El, "", 0, std::nullopt, "Failed to parse the expression [${1 +}]")},
     0,
     "el-error.jsp",
     {{jsp, 1, 4, 12, 4, 18, "Failed to parse the expression [${1 +}]"}}},
    {"el-separators.jsp", // a message holding the field separator and the record terminator
     {error(Kind::El, "", 0, std::nullopt, "Failed to parse the expression [${'%%%END%%%' && }]")},
     0,
     "el-separators.jsp",
     {{jsp, 1, 2, 4, 2, 22,
       "Failed to parse the expression [${'" + std::string(fullwidthPercent) + "%%END%%%' " +
           std::string(fullwidthAmpersand) + std::string(fullwidthAmpersand) + " }]"}}},
    {"include-syntax.jsp",
     {error(Kind::Jsp, "/WEB-INF/jspf/unterminated.jspf", 2, 12, "Unterminated [<%=] tag",
            {{"/include-syntax.jsp", 4, 0}})},
     0,
     "WEB-INF/jspf/unterminated.jspf",
     {{jsp, 1, 2, 13, 3, 0, "Unterminated [<%=] tag"}}},
    {"include-java.jsp",
     {error(Kind::Java, "/WEB-INF/jspf/bad-java.jspf", 2, std::nullopt,
            "Type mismatch: cannot convert from int to String"),
      error(Kind::Java, "/include-java.jsp", 4, std::nullopt,
            "Type mismatch: cannot convert from String to int")},
     0,
     "include-java.jsp",
     {{java, 0, 2, 1, 3, 0, "/WEB-INF/jspf/bad-java.jspf line 2: Type mismatch"},
      {java, 0, 4, 1, 5, 0, "Type mismatch: cannot convert from String to int"}}},
    {"missing-taglib.jsp", // on the URI it names
     {error(Kind::Jsp, "", 0, std::nullopt,
            "The absolute uri: [http://example.com/tags/none] cannot be resolved in either "
            "web.xml or the jar files deployed with this application")},
     0,
     "missing-taglib.jsp",
     {{jsp, 1, 1, 17, 1, 45, "The absolute uri: [http://example.com/tags/none]"}}},
    {"bad-import.jsp", // in the servlet's imports: no JSP line
     {error(Kind::Java, "", 0, std::nullopt,
            "Only a type can be imported. no.such.pkg.Thing resolves to a package")},
     14,
     "bad-import.jsp",
     {{java, 14, 1, 1, 2, 0, "Only a type can be imported."}}},
};

void expectErrors(const BrokenPage& page, std::vector<JasperError> got) {
    ASSERT_EQ(got.size(), page.errors.size());
    if (page.generatedLine != 0) {
        ASSERT_TRUE(got[0].generated);
        EXPECT_EQ(got[0].generated->line, page.generatedLine);
        EXPECT_TRUE(got[0].generated->file.ends_with("/org/apache/jsp/bad_002dimport_jsp.java"))
            << got[0].generated->file;
        got[0].generated.reset();
    }
    for (std::size_t i = 0; i < got.size(); ++i)
        EXPECT_EQ(got[i], page.errors[i]) << "error " << i << ": " << got[i].message;
}

// Java errors show the page's servlet beside it.
bool hasJavaErrors(const BrokenPage& page) {
    return std::any_of(page.records.begin(), page.records.end(),
                       [](const ExpectedRecord& r) { return r.errType == java; });
}

void expectPageRecords(const BrokenPage& page, const std::vector<JasperError>& errors,
                       std::optional<fs::path> javaFile, std::optional<fs::path> shownServlet) {
    const FailedPage failed{7, webappDir, webappDir / page.page, javaFile};
    expectRecords(buildCompileErrorRecords(failed, errors), webappDir / page.shownFile,
                  shownServlet, page.records);
}

class CapturedErrorPage : public testing::TestWithParam<BrokenPage> {};

TEST_P(CapturedErrorPage, ReadsTheErrorsAndPlacesThemInTheJsp) {
    const BrokenPage& page = GetParam();
    const std::string body = readFile(capturedDir / fs::path(page.page).replace_extension(".html"));
    ASSERT_FALSE(body.empty()) << "no captured page for " << page.page;
    const std::vector<JasperError> errors = JasperErrorReader::fromErrorPage(body);
    expectErrors(page, errors);
    // Without a servlet given, the one Jasper names (in the captured server's base).
    std::optional<fs::path> named;
    if (!errors.empty() && errors[0].generated)
        named = errors[0].generated->file;
    expectPageRecords(page, errors, std::nullopt, named);
}

INSTANTIATE_TEST_SUITE_P(RealTomcat, CapturedErrorPage, testing::ValuesIn(brokenPages),
                         [](const testing::TestParamInfo<BrokenPage>& p) {
                             std::string name = fs::path(p.param.page).stem().string();
                             std::erase(name, '-');
                             return name;
                         });

// Answers that are no compile error of the page asked for.
struct OtherAnswer {
    std::string page;
    int status;
    std::string message;
};

const std::vector<OtherAnswer> otherAnswers = {
    {"runtime-error.jsp", 500, "An exception occurred processing [/runtime-error.jsp] at line [2]"},
    // It compiled; a page it includes at run time did not, and has requests of its own.
    {"includes-broken-page.jsp", 500,
     "An exception occurred processing [/includes-broken-page.jsp] at line [2]"},
    {"no-such-page.jsp", 404, "JSP file [/no-such-page.jsp] not found"},
};

void expectNoCompileError(const OtherAnswer& answer, const std::string& body) {
    EXPECT_TRUE(JasperErrorReader::fromErrorPage(body).empty()) << answer.page;
    EXPECT_EQ(JasperErrorReader::errorPageMessage(body), answer.message) << answer.page;
}

TEST(JasperErrorReader, FindsNoCompileErrorInOtherCapturedAnswers) {
    for (const OtherAnswer& answer : otherAnswers)
        expectNoCompileError(
            answer, readFile(capturedDir / fs::path(answer.page).replace_extension(".html")));
}

// ---- Bodies made for the reader's corner cases ----

struct ReaderCase {
    const char* name;
    std::string body;
    std::vector<JasperError> expected;
};

// Tomcat's error page around an (already escaped) exception text that Jasper's translator
// threw.
std::string compileErrorPage(const std::string& escapedException) {
    return "<html><body><p><b>Message</b> x</p><pre>" + escapedException +
           "\n\torg.apache.jasper.compiler.Parser.parse(Parser.java:127)\n</pre></body></html>";
}

void PrintTo(const ReaderCase& c, std::ostream* os) {
    *os << c.name;
}

class ReaderCases : public testing::TestWithParam<ReaderCase> {};

TEST_P(ReaderCases, ReadsWhatItCanAndNothingElse) {
    EXPECT_EQ(JasperErrorReader::fromErrorPage(GetParam().body), GetParam().expected);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Bodies, ReaderCases, testing::Values(
    ReaderCase{"IncludedFromAnInclude", compileErrorPage(
        "org.apache.jasper.JasperException: &#47;a.jsp (line: [1], column: [1]) "
        "&#47;b.jspf (line: [3], column: [2]) "
        "&#47;c.jspf (line: [1], column: [5]) Bad [&amp;lt;jsp:text&amp;gt;]"),
        {error(Kind::Jsp, "/c.jspf", 1, 4, "Bad [<jsp:text>]",
               {{"/a.jsp", 1, 0}, {"/b.jspf", 3, 2}})}},
    ReaderCase{"LineOutOfRangeKeepsTheText", compileErrorPage(
        "&#47;a.jsp (line: [99999999999], column: [1]) Oops"),
        {error(Kind::Jsp, "", 0, std::nullopt, "/a.jsp (line: [99999999999], column: [1]) Oops")}},
    ReaderCase{"NegativeColumnKeepsTheText", compileErrorPage(
        "&#47;a.jsp (line: [2], column: [-1]) Oops"),
        {error(Kind::Jsp, "", 0, std::nullopt, "/a.jsp (line: [2], column: [-1]) Oops")}},
    ReaderCase{"MessageOnSeveralLinesComesOnOne", compileErrorPage(
        "&#47;a.jsp (line: [2], column: [3])  first\r\n   second  "),
        {error(Kind::Jsp, "/a.jsp", 2, 3, "first second")}},
    ReaderCase{"CharacterReferences", compileErrorPage(
        "&#47;a.jsp (line: [2], column: [0]) "
        "&#60;&#x3E;&#x1F600; &#0; &#xD800; &bogus; &#x; &amp"),
        {error(Kind::Jsp, "/a.jsp", 2, 0, "<>\xF0\x9F\x98\x80 &#0; &#xD800; &bogus; &#x; &amp")}},
    ReaderCase{"JavaFailureWithoutALine", compileErrorPage(
        "org.apache.jasper.JasperException: Unable to compile class for JSP: \n\n"
        "JDT gave up\n\nStacktrace:"),
        {error(Kind::Java, "", 0, std::nullopt, "Unable to compile class for JSP: JDT gave up")}},
    ReaderCase{"JavaErrorsWithoutExcerpts", compileErrorPage(
        "Unable to compile class for JSP:\n"
        "An error occurred at line: [3] in the jsp file: [&#47;a.jsp]\nbad thing\n"
        "An error occurred at line: [9] in the jsp file: [&#47;a [1].jsp]\nworse\n thing"),
        {error(Kind::Java, "/a.jsp", 3, std::nullopt, "bad thing"),
         error(Kind::Java, "/a [1].jsp", 9, std::nullopt, "worse thing")}},
    ReaderCase{"JavaErrorWithBrokenHeadIsKeptWhole", compileErrorPage(
        "Unable to compile class for JSP:\n"
        "An error occurred at line: [x] in the jsp file: [&#47;a.jsp]"),
        {error(Kind::Java, "", 0, std::nullopt,
               "Unable to compile class for JSP: "
               "An error occurred at line: [x] in the jsp file: [/a.jsp]")}},
    ReaderCase{"OtherElError", compileErrorPage(
        "org.apache.jasper.JasperException: jakarta.el.ELException: Function [fn:x] not found"),
        {error(Kind::El, "", 0, std::nullopt, "Function [fn:x] not found")}},
    ReaderCase{"EmptyMessage", compileErrorPage("org.apache.jasper.JasperException: "),
        {error(Kind::Jsp, "", 0, std::nullopt, "The page could not be translated")}},
    ReaderCase{"PageThatRanAndFailed", compileErrorPage(
        "org.apache.jasper.JasperException: "
        "An exception occurred processing [&#47;a.jsp] at line [2]"), {}},
    ReaderCase{"NotFromJaspersCompiler",
        "<pre>&#47;a.jsp (line: [2], column: [0]) Oops\n"
        "\tcom.example.Thing.run(Thing.java:1)</pre>", {}},
    ReaderCase{"CutShortInsideAReference", "<pre>&#47;a.jsp (line: [2], column: [0]) x &am", {}},
    ReaderCase{"NoSection", "<html><body>It works</body></html>", {}},
    ReaderCase{"Empty", "", {}}),
    [](const testing::TestParamInfo<ReaderCase>& p) { return std::string(p.param.name); });
// clang-format on

TEST(JasperErrorReader, AnyCutOfARealBodyGivesRecordsTheMonitorReads) {
    for (const BrokenPage& page : brokenPages) {
        const std::string body =
            readFile(capturedDir / fs::path(page.page).replace_extension(".html"));
        const FailedPage failed{7, webappDir, webappDir / page.page, std::nullopt};
        for (std::size_t size = 0; size < body.size(); size += 11) {
            const std::vector<JasperError> errors =
                JasperErrorReader::fromErrorPage(std::string_view(body).substr(0, size));
            for (const std::string& record : buildCompileErrorRecords(failed, errors).errorRecords)
                ASSERT_TRUE(infoStrParser(record))
                    << page.page << " cut at " << size << ": " << record;
        }
    }
}

// ---- Places in pages made for the corner cases of columns and lines ----

struct PlacementCase {
    const char* name;
    std::string pageText; // of /p.jsp
    std::vector<JasperError> errors;
    std::vector<ExpectedRecord> expected;
};

void PrintTo(const PlacementCase& c, std::ostream* os) {
    *os << c.name;
}

class PlacementCases : public testing::TestWithParam<PlacementCase> {};

TEST_P(PlacementCases, PutsTheErrorWhereTheMonitorShowsItsText) {
    TempDir dir;
    writeFile(dir.path / "p.jsp", GetParam().pageText);
    const FailedPage page{7, dir.path, dir.path / "p.jsp", std::nullopt};
    expectRecords(buildCompileErrorRecords(page, GetParam().errors), dir.path / "p.jsp",
                  std::nullopt, GetParam().expected);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Pages, PlacementCases, testing::Values(
    PlacementCase{"LoneCarriageReturnsEndLinesForTheMonitorOnly", "a\rb\r<%= 1",
        {error(Kind::Jsp, "/p.jsp", 1, 7, "x")}, {{jsp, 1, 3, 4, 4, 0, "x"}}},
    PlacementCase{"CrLf", "x\r\n\r\n  <%= 1", {error(Kind::Jsp, "/p.jsp", 3, 5, "x")},
        {{jsp, 1, 3, 6, 4, 0, "x"}}},
    PlacementCase{"ByteOrderMarkIsNotCounted", "\xEF\xBB\xBF<%= 1",
        {error(Kind::Jsp, "/p.jsp", 1, 3, "x")}, {{jsp, 1, 1, 4, 2, 0, "x"}}},
    PlacementCase{"CharsetOfTheContentType",
        "<%@ page contentType=\"text/html; charset=UTF-8\" %>\n\xC3\xA9\xF0\x9F\x98\x80<%= 1",
        {error(Kind::Jsp, "/p.jsp", 2, 6, "x")}, {{jsp, 1, 2, 7, 3, 0, "x"}}},
    PlacementCase{"HtmlMetaCharsetIsNoPageEncoding",
        "<meta charset=\"utf-8\">\n\xC3\xA9<%= 1", {error(Kind::Jsp, "/p.jsp", 2, 5, "x")},
        {{jsp, 1, 2, 5, 3, 0, "x"}}},
    PlacementCase{"IsoPageCountsBytes", "\n\xC3\xA9\xF0\x9F\x98\x80<%= 1",
        {error(Kind::Jsp, "/p.jsp", 2, 9, "x")}, {{jsp, 1, 2, 7, 3, 0, "x"}}},
    PlacementCase{"PastTheLineEnd", "ab\n", {error(Kind::Jsp, "/p.jsp", 1, 10, "x")},
        {{jsp, 1, 1, 11, 2, 0, "x"}}},
    PlacementCase{"PastTheFileEnd", "ab\n", {error(Kind::Jsp, "/p.jsp", 9, 2, "x")},
        {{jsp, 1, 9, 3, 10, 0, "x"}}},
    PlacementCase{"JavaErrorTakesItsWholeLine", "a\n\tb\n",
        {error(Kind::Java, "/p.jsp", 2, std::nullopt, "x")}, {{java, 0, 2, 1, 3, 0, "x"}}},
    PlacementCase{"ExpressionWithBrackets", "<p>\n<p>${a[0] +}</p>",
        {error(Kind::El, "", 0, std::nullopt, "Failed to parse the expression [${a[0] +}]")},
        {{jsp, 1, 2, 4, 2, 13, "Failed"}}},
    PlacementCase{"ExpressionNotInThePage", "<p>${b +}</p>",
        {error(Kind::El, "", 0, std::nullopt, "Failed to parse the expression [${a +}]")},
        {{jsp, 1, 1, 1, 2, 0, "Failed"}}},
    PlacementCase{"ShortQuotesAreNotLookedFor", "\nab\n",
        {error(Kind::Jsp, "", 0, std::nullopt, "Bad [ab]")}, {{jsp, 1, 1, 1, 2, 0, "Bad [ab]"}}},
    PlacementCase{"ErrorInAnIncludedFileGoesOnItsDirective",
        "<p>\n <%@ include file=\"inc/piece.jspf\" %>\n<% x %>\n",
        {error(Kind::Java, "/inc/piece.jspf", 3, std::nullopt, "bad"),
         error(Kind::Java, "/p.jsp", 3, std::nullopt, "worse")},
        {{java, 0, 2, 1, 3, 0, "/inc/piece.jspf line 3: bad"}, {java, 0, 3, 1, 4, 0, "worse"}}},
    PlacementCase{"IncludedFileNotNamedInThePage", "<p>\n<% x %>\n",
        {error(Kind::Java, "/p.jsp", 2, std::nullopt, "worse"),
         error(Kind::Java, "/other.jspf", 3, std::nullopt, "bad")},
        {{java, 0, 2, 1, 3, 0, "worse"}, {java, 0, 1, 1, 2, 0, "/other.jspf line 3: bad"}}},
    PlacementCase{"IncludeChainNamesTheDirective", "<p>\n\t<%@ include file=\"x.jspf\" %>\n",
        {error(Kind::Jsp, "/p.jsp", 1, 0, "first"),
         error(Kind::Jsp, "/inc.jspf", 2, 4, "bad", {{"/p.jsp", 2, 1}})},
        {{jsp, 1, 1, 1, 2, 0, "first"}, {jsp, 1, 2, 3, 3, 0, "/inc.jspf line 2: bad"}}},
    PlacementCase{"EmptyMessage", "<p>\n", {error(Kind::Jsp, "/p.jsp", 1, 0, "")},
        {{jsp, 1, 1, 1, 2, 0, " "}}}),
    [](const testing::TestParamInfo<PlacementCase>& p) { return std::string(p.param.name); });
// clang-format on

TEST(CompileErrorRecords, RefuseAFileNameTheRecordsCannotCarry) {
    const FailedPage page{7, "/srv/a&b", "/srv/a&b/p.jsp", std::nullopt};
    EXPECT_THROW(buildCompileErrorRecords(page, {error(Kind::Jsp, "/p.jsp", 1, 0, "x")}),
                 std::invalid_argument);
}

TEST(CompileErrorRecords, KeepJaspersNumbersForAPageThatCannotBeRead) {
    const FailedPage page{7, "/nonexistent", "/nonexistent/p.jsp", std::nullopt};
    expectRecords(buildCompileErrorRecords(page, {error(Kind::Jsp, "/p.jsp", 3, 4, "x")}),
                  "/nonexistent/p.jsp", std::nullopt, {{jsp, 1, 3, 5, 4, 0, "x"}});
}

// ---- A real Tomcat ----

// The servlet Jasper generates for a page of the test webapp (names without other
// characters to mangle than "-").
fs::path generatedServlet(const fs::path& base, const std::string& page) {
    std::string name = fs::path(page).stem().string();
    for (std::size_t at = name.find('-'); at != std::string::npos; at = name.find('-', at))
        name.replace(at, 1, "_002d");
    return base / "work/Catalina/localhost/ROOT/org/apache/jsp" / (name + "_jsp.java");
}

TEST(JasperErrorsFromARealTomcat, ReadsEveryBrokenPageAndPlacesItsErrors) {
    TempDir dir;
    ManagedTomcatOptions options;
    options.base = dir.path / "base";
    options.webapp = webappDir;
    auto tomcat = ManagedTomcat::start(options);
    const char* captureDir = std::getenv("TOMCATRUNNER_CAPTURE_ERROR_PAGES");
    auto get = [&](const std::string& page) {
        HttpExchange exchange("127.0.0.1", tomcat->httpPort(), "/" + page, 5s);
        exchange.finish(120s);
        if (captureDir)
            writeFile(fs::path(captureDir) / fs::path(page).replace_extension(".html"),
                      exchange.body());
        return std::pair{exchange.status(), exchange.body()};
    };

    for (const BrokenPage& page : brokenPages) {
        SCOPED_TRACE(page.page);
        const auto [status, body] = get(page.page);
        EXPECT_EQ(status, 500);
        const std::vector<JasperError> errors = JasperErrorReader::fromErrorPage(body);
        expectErrors(page, errors);
        // Jasper keeps the servlet of a page whose Java does not compile, and only then is
        // it shown.
        const fs::path servlet = generatedServlet(options.base, page.page);
        EXPECT_EQ(fs::exists(servlet), hasJavaErrors(page)) << servlet;
        expectPageRecords(page, errors, servlet,
                          hasJavaErrors(page) ? std::optional(servlet) : std::nullopt);
    }
    for (const OtherAnswer& answer : otherAnswers) {
        const auto [status, body] = get(answer.page);
        EXPECT_EQ(status, answer.status) << answer.page;
        expectNoCompileError(answer, body);
    }
    const pid_t pid = tomcat->pid();
    tomcat->stop();
    EXPECT_NE(::kill(pid, 0), 0);
}

} // namespace
