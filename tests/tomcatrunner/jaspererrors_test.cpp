// Jasper's compile errors read from Tomcat's error pages, captured from a real Tomcat and
// live from one.
//
// The captured pages in data/errors/captured are the bodies a real Tomcat gave for the
// pages in data/errors/webapp. To capture them again, run the real-Tomcat test with
// TOMCATRUNNER_CAPTURE_ERROR_PAGES set to a folder: it writes one PAGE.html per page there.
#include "tomcatrunner/httpexchange.h"
#include "tomcatrunner/jaspererrors.h"
#include "tomcatrunner/managedtomcat.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
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
using Kind = JasperErrorKind;

const fs::path dataDir = TOMCATRUNNER_ERRORS_DATA;
const fs::path webappDir = dataDir / "webapp";
const fs::path capturedDir = dataDir / "captured";

struct TempDir {
    fs::path path;
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "jaspererrors-test-XXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
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

// ---- The broken pages of data/errors/webapp, and what Tomcat says about them ----

struct BrokenPage {
    std::string page;
    std::vector<JasperError> errors;
    int generatedLine = 0; // of the first error, when Jasper names a line of the servlet
};

void PrintTo(const BrokenPage& page, std::ostream* os) {
    *os << page.page;
}

// Jasper's columns count from 1 on line 1 and from 0 below; its pages are ISO-8859-1 unless
// they say otherwise (one character per byte of "Größe").
const std::vector<BrokenPage> brokenPages = {
    {"syntax-line1.jsp",
     {error(Kind::Jsp, "/syntax-line1.jsp", 1, 15, "Unterminated [<%=] tag")},
     0},
    {"syntax-error.jsp", // UTF-8, and a tab before the error
     {error(Kind::Jsp, "/syntax-error.jsp", 5, 14, "Unterminated [<%=] tag")},
     0},
    {"java-error.jsp",
     {error(Kind::Java, "/java-error.jsp", 6, std::nullopt,
            "Type mismatch: cannot convert from String to int")},
     0},
    {"two-java-errors.jsp",
     {error(Kind::Java, "/two-java-errors.jsp", 4, std::nullopt,
            "undefinedThing cannot be resolved to a variable"),
      error(Kind::Java, "/two-java-errors.jsp", 5, std::nullopt,
            "The operator && is undefined for the argument type(s) int, int")},
     0},
    {"el-error.jsp",
     {error(Kind::El, "", 0, std::nullopt, "Failed to parse the expression [${1 +}]")},
     0},
    {"el-separators.jsp", // a message holding the field separator and the record terminator
     {error(Kind::El, "", 0, std::nullopt, "Failed to parse the expression [${'%%%END%%%' && }]")},
     0},
    {"include-syntax.jsp",
     {error(Kind::Jsp, "/WEB-INF/jspf/unterminated.jspf", 2, 12, "Unterminated [<%=] tag",
            {{"/include-syntax.jsp", 4, 0}})},
     0},
    {"include-java.jsp",
     {error(Kind::Java, "/WEB-INF/jspf/bad-java.jspf", 2, std::nullopt,
            "Type mismatch: cannot convert from int to String"),
      error(Kind::Java, "/include-java.jsp", 4, std::nullopt,
            "Type mismatch: cannot convert from String to int")},
     0},
    {"missing-taglib.jsp",
     {error(Kind::Jsp, "", 0, std::nullopt,
            "The absolute uri: [http://example.com/tags/none] cannot be resolved in either "
            "web.xml or the jar files deployed with this application")},
     0},
    {"bad-import.jsp", // in the servlet's imports: no JSP line
     {error(Kind::Java, "", 0, std::nullopt,
            "Only a type can be imported. no.such.pkg.Thing resolves to a package")},
     14},
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

class CapturedErrorPage : public testing::TestWithParam<BrokenPage> {};

TEST_P(CapturedErrorPage, ReadsTheErrors) {
    const BrokenPage& page = GetParam();
    const std::string body = readFile(capturedDir / fs::path(page.page).replace_extension(".html"));
    ASSERT_FALSE(body.empty()) << "no captured page for " << page.page;
    const std::vector<JasperError> errors = JasperErrorReader::fromErrorPage(body);
    expectErrors(page, errors);
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

TEST(JasperErrorReader, AnyCutOfARealBodyGivesReadableErrorsOrNone) {
    for (const BrokenPage& page : brokenPages) {
        const std::string body =
            readFile(capturedDir / fs::path(page.page).replace_extension(".html"));
        for (std::size_t size = 0; size < body.size(); size += 11) {
            for (const JasperError& e :
                 JasperErrorReader::fromErrorPage(std::string_view(body).substr(0, size)))
                ASSERT_FALSE(e.message.empty()) << page.page << " cut at " << size;
        }
    }
}

// ---- A real Tomcat ----

TEST(JasperErrorsFromARealTomcat, ReadsTheErrorsOfEveryBrokenPage) {
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
