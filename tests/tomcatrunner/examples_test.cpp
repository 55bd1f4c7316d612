// Tomcat's own example webapp, as Debian installs it, debugged page by page in a real Tomcat:
// each page steps from its first line to its end in the files it runs, and what it shows,
// joined, is the body of the same request sent without a debugger.
#include "debuggedtomcat.h"
#include "tempdir.h"
#include "tracehook/pagevariables.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using namespace tomcatrunner;
using ::testing::HasSubstr;
using tomcattest::DebuggedTomcat;
using tomcattest::ScriptedMonitor;
using tomcattest::TempDir;

// How the plain response compares with what the debugged one showed.
enum class Compare {
    Exact,      // byte for byte
    Digits,     // but for the digits: the page prints the time
    ItsOwnOnly, // the page is random: only with its own response body
};

struct ExamplePage {
    const char* name;
    const char* target;
    Compare compare;
    // The JSP files the page runs, in the order they are first shown (one per connection).
    std::vector<const char*> files;
    // Texts the output shows; "a|b" is either.
    std::vector<const char*> shows;
    int status = 200;
    // The page chooses where to forward at random: files.front() only is certain.
    bool laterFilesVary = false;
    // Lines of the page (the first file) that must run, and lines that must not.
    std::vector<int> runs = {};
    std::vector<int> skips = {};
};

void PrintTo(const ExamplePage& page, std::ostream* os) {
    *os << page.target;
}

// Each number as one "#": the time a page prints may change its number of digits (second 9,
// then 10) between the debugged request and the plain one.
std::string maskDigits(const std::string& text) {
    std::string masked;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool digit = std::isdigit(static_cast<unsigned char>(text[i])) != 0;
        if (!digit) {
            masked += text[i];
        } else if (masked.empty() || masked.back() != '#') {
            masked += '#';
        }
    }
    return masked;
}

int lineCount(const fs::path& file) {
    std::ifstream in(file);
    int lines = 0;
    for (std::string line; std::getline(in, line);) {
        ++lines;
    }
    return lines;
}

// The fields of a record after its kind: "%L1&7&3&1&3&9" gives {"1","7","3","1","3","9"}.
std::vector<std::string> fieldsOf(const std::string& record) {
    std::vector<std::string> fields;
    std::size_t from = 2;
    for (;;) {
        const std::size_t amp = record.find('&', from);
        fields.push_back(record.substr(from, amp == std::string::npos ? amp : amp - from));
        if (amp == std::string::npos) {
            return fields;
        }
        from = amp + 1;
    }
}

class TomcatExamples : public ::testing::TestWithParam<ExamplePage> {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(fs::is_directory(TOMCAT_EXAMPLES))
            << TOMCAT_EXAMPLES << " is missing: scripts/install-deps installs tomcat10-examples";
        dir_ = std::make_unique<TempDir>("tomcatrunner-examples");
        tomcat_ = std::make_unique<DebuggedTomcat>(TOMCAT_EXAMPLES, dir_->path / "base");
    }
    static void TearDownTestSuite() {
        tomcat_.reset();
        dir_.reset();
    }
    void SetUp() override { ASSERT_NE(tomcat_, nullptr) << "the server did not start"; }

    static inline std::unique_ptr<TempDir> dir_;
    static inline std::unique_ptr<DebuggedTomcat> tomcat_;
};

TEST_P(TomcatExamples, StepsFromItsFirstLineToItsEndShowingTheResponse) {
    const ExamplePage& example = GetParam();
    ScriptedMonitor monitor;
    const RequestResult result = tomcat_->debug(example.target, monitor);
    EXPECT_EQ(result.kind, RequestResult::Kind::Ended) << result.message;
    EXPECT_EQ(result.httpStatus, example.status);

    // One connection per file, each opened with its file and closed by its end.
    std::vector<std::string> files;
    for (int connection = 0;; ++connection) {
        const auto records = monitor.recordsOf(connection);
        if (records.empty()) {
            break;
        }
        const std::vector<std::string> header = fieldsOf(records.front());
        ASSERT_TRUE(records.front().starts_with("%F") && header.size() == 3) << records.front();
        const fs::path jsp = header[1];
        files.push_back(fs::relative(jsp, TOMCAT_EXAMPLES).generic_string());
        EXPECT_EQ(records.back(), "%E") << jsp;
        // Every position lies in its file.
        const int lines = lineCount(jsp);
        for (const std::string& r : records) {
            if (!r.starts_with("%L") && !r.starts_with("%S")) {
                continue;
            }
            const std::vector<std::string> at = fieldsOf(r);
            ASSERT_EQ(at.size(), 6u) << r;
            EXPECT_EQ(at[0], header[0]) << r;
            const int startLine = std::stoi(at[2]);
            const int endLine = std::stoi(at[4]);
            if (r.starts_with("%S") && startLine == 0) {
                continue; // back in a file before its first line
            }
            EXPECT_GE(startLine, 1) << r;
            EXPECT_LE(startLine, endLine) << r;
            EXPECT_LE(endLine, lines + 1) << r << " in " << jsp;
            EXPECT_GE(std::stoi(at[3]), 1) << r;
        }
    }
    if (example.laterFilesVary) {
        ASSERT_FALSE(files.empty());
        EXPECT_EQ(files.front(), example.files.front());
    } else {
        EXPECT_EQ(files, std::vector<std::string>(example.files.begin(), example.files.end()));
    }
    const std::vector<int> pageLines = tomcattest::jspLines(monitor.recordsOf(0));
    EXPECT_FALSE(pageLines.empty());
    for (const int line : example.runs) {
        EXPECT_THAT(pageLines, ::testing::Contains(line)) << "line " << line << " did not run";
    }
    for (const int line : example.skips) {
        EXPECT_THAT(pageLines, ::testing::Not(::testing::Contains(line)))
            << "line " << line << " ran";
    }

    // What was shown, joined, is the response.
    const std::string shown = monitor.html();
    EXPECT_EQ(shown, result.body);
    if (example.compare != Compare::ItsOwnOnly) {
        const std::string plain = tomcat_->plainBody(example.target);
        if (example.compare == Compare::Digits) {
            EXPECT_EQ(maskDigits(shown), maskDigits(plain));
        } else {
            EXPECT_EQ(shown, plain);
        }
    }
    for (const std::string alternatives : example.shows) {
        bool found = false;
        for (std::size_t from = 0; from <= alternatives.size();) {
            const std::size_t bar = std::min(alternatives.find('|', from), alternatives.size());
            found = found || shown.find(alternatives.substr(from, bar - from)) != std::string::npos;
            from = bar + 1;
        }
        EXPECT_TRUE(found) << "the output shows no \"" << alternatives << "\"";
    }
}

// The same pages while the monitor asks for variables: tag files, fragments, includes,
// forwards and error pages all go through the reader. Each line first brings a variables
// record of its file that reads back, and the page still runs to its end showing its
// response.
TEST_P(TomcatExamples, WithVariablesEachLineFirstBringsWhatThePageHolds) {
    const ExamplePage& example = GetParam();
    ScriptedMonitor monitor;
    const RequestResult result = tomcat_->debug(example.target, monitor, [](RequestOptions& o) {
        o.sendVariables = [] {
            return true;
        };
    });
    EXPECT_EQ(result.kind, RequestResult::Kind::Ended) << result.message;
    EXPECT_EQ(result.httpStatus, example.status);
    int lines = 0;
    for (int connection = 0;; ++connection) {
        const auto records = monitor.recordsOf(connection);
        if (records.empty()) {
            break;
        }
        for (std::size_t i = 0; i < records.size(); ++i) {
            if (!records[i].starts_with("%L")) {
                continue;
            }
            ++lines;
            ASSERT_GT(i, 0u);
            const auto variables = tracehook::PageVariables::parse(records[i - 1]);
            ASSERT_TRUE(variables) << records[i - 1].substr(0, 200) << "\nbefore " << records[i];
            EXPECT_EQ(variables->fileId, fieldsOf(records[i])[0]);
        }
    }
    EXPECT_GT(lines, 0);
    EXPECT_EQ(monitor.html(), result.body);
}

INSTANTIATE_TEST_SUITE_P(
    Debian, TomcatExamples,
    ::testing::Values(
        ExamplePage{"NumberGuessWelcome",
                    "/jsp/num/numguess.jsp",
                    Compare::Exact,
                    {"jsp/num/numguess.jsp"},
                    {"Welcome to the Number Guess game."},
                    200,
                    false,
                    // The branch of the first visit, not the one of a right guess.
                    {30, 39, 41, 43, 48},
                    {32, 33, 35, 52}},
        ExamplePage{"NumberGuessGuess",
                    "/jsp/num/numguess.jsp?guess=50",
                    Compare::ItsOwnOnly,
                    {"jsp/num/numguess.jsp"},
                    {"Good guess, but nope.|You got it."}},
        ExamplePage{"Dates",
                    "/jsp/dates/date.jsp",
                    Compare::Digits,
                    {"jsp/dates/date.jsp"},
                    {"Day of month: is", "Zone Offset: is"}},
        ExamplePage{"Colors",
                    "/jsp/colors/colrs.jsp?color1=black&color2=cyan&action=Hint",
                    Compare::Exact,
                    {"jsp/colors/colrs.jsp"},
                    {"Hint #1", "Total attempts"}},
        ExamplePage{"Checkbox",
                    "/jsp/checkbox/checkresult.jsp?fruit=melons&fruit=grapes",
                    Compare::Exact,
                    {"jsp/checkbox/checkresult.jsp"},
                    {"melons", "grapes"}},
        ExamplePage{"Include",
                    "/jsp/include/include.jsp",
                    Compare::Digits,
                    {"jsp/include/include.jsp", "jsp/include/foo.jsp", "jsp/include/foo.jsp"},
                    {"In place evaluation of another JSP", "by including the output"}},
        // Where it forwards depends on the VM's free memory.
        ExamplePage{"Forward",
                    "/jsp/forward/forward.jsp",
                    Compare::ItsOwnOnly,
                    {"jsp/forward/forward.jsp"},
                    {"VM Memory usage"},
                    200,
                    true},
        ExamplePage{"ErrorPageTakesTheException",
                    "/jsp/error/err.jsp?name=audi",
                    Compare::Exact,
                    {"jsp/error/err.jsp", "jsp/error/errorpge.jsp"},
                    {"bgcolor=\"red\"", "made a wrong choice"},
                    500,
                    false,
                    // The test that throws runs; what it guards does not.
                    {30, 31, 33},
                    {36}},
        ExamplePage{"ErrorPageNotNeeded",
                    "/jsp/error/err.jsp?name=integra",
                    Compare::Exact,
                    {"jsp/error/err.jsp"},
                    {"is my favorite car"},
                    200,
                    false,
                    {33, 36},
                    {}},
        ExamplePage{"ErrorPageForm",
                    "/jsp/error/err.jsp",
                    Compare::Exact,
                    {"jsp/error/err.jsp", "jsp/error/error.html"},
                    {"<form"}},
        ExamplePage{"ElArithmetic",
                    "/jsp/jsp2/el/basic-arithmetic.jsp",
                    Compare::Exact,
                    {"jsp/jsp2/el/basic-arithmetic.jsp"},
                    {"<td>${1 + 2}</td>", "<td>3</td>"}},
        ExamplePage{"ElComparisons",
                    "/jsp/jsp2/el/basic-comparisons.jsp",
                    Compare::Exact,
                    {"jsp/jsp2/el/basic-comparisons.jsp"},
                    {"<td>true</td>"}},
        ExamplePage{"ElFunctions",
                    "/jsp/jsp2/el/functions.jsp?foo=JSP%202.0",
                    Compare::Exact,
                    {"jsp/jsp2/el/functions.jsp"},
                    {"0.2 PSJ"}},
        ExamplePage{"ElImplicitObjects",
                    "/jsp/jsp2/el/implicit-objects.jsp?foo=bar",
                    Compare::Exact,
                    {"jsp/jsp2/el/implicit-objects.jsp"},
                    {"<td>bar&nbsp;</td>"}},
        ExamplePage{"ElComposite",
                    "/jsp/jsp2/el/composite.jsp",
                    Compare::Exact,
                    {"jsp/jsp2/el/composite.jsp"},
                    {"Composite Expressions"}},
        ExamplePage{"JspAttribute",
                    "/jsp/jsp2/jspattribute/jspattribute.jsp",
                    Compare::Exact,
                    {"jsp/jsp2/jspattribute/jspattribute.jsp"},
                    {"jsp:attribute"}},
        ExamplePage{"Shuffle",
                    "/jsp/jsp2/jspattribute/shuffle.jsp",
                    Compare::ItsOwnOnly,
                    {"jsp/jsp2/jspattribute/shuffle.jsp"},
                    {"bgcolor=\"#ff0000\""}},
        ExamplePage{"JspxBasic",
                    "/jsp/jsp2/jspx/basic.jspx",
                    Compare::Digits,
                    {"jsp/jsp2/jspx/basic.jspx"},
                    {"</body></html>"}},
        ExamplePage{"JspxTextRotate",
                    "/jsp/jsp2/jspx/textRotate.jspx?name=JSPX",
                    Compare::Exact,
                    {"jsp/jsp2/jspx/textRotate.jspx"},
                    {"JSPX"}},
        ExamplePage{
            "PreludeAndCoda",
            "/jsp/jsp2/misc/config.jsp",
            Compare::Exact,
            {"jsp/jsp2/misc/config.jsp", "jsp/jsp2/misc/prelude.jspf", "jsp/jsp2/misc/coda.jspf"},
            {"This banner included with &lt;include-prelude&gt;",
             "This banner included with &lt;include-coda&gt;"}},
        ExamplePage{"DynamicAttributes",
                    "/jsp/jsp2/misc/dynamicattrs.jsp",
                    Compare::Exact,
                    {"jsp/jsp2/misc/dynamicattrs.jsp"},
                    {"<li>"}},
        ExamplePage{"SimpleTagBook",
                    "/jsp/jsp2/simpletag/book.jsp",
                    Compare::Exact,
                    {"jsp/jsp2/simpletag/book.jsp"},
                    {"THE LORD OF THE RINGS"}},
        ExamplePage{"SimpleTagHello",
                    "/jsp/jsp2/simpletag/hello.jsp",
                    Compare::Exact,
                    {"jsp/jsp2/simpletag/hello.jsp"},
                    {"Hello, world!"}},
        ExamplePage{"SimpleTagRepeat",
                    "/jsp/jsp2/simpletag/repeat.jsp",
                    Compare::Exact,
                    {"jsp/jsp2/simpletag/repeat.jsp"},
                    {"Invocation 5 of 5"}},
        ExamplePage{"TagFileHello",
                    "/jsp/jsp2/tagfiles/hello.jsp",
                    Compare::Exact,
                    {"jsp/jsp2/tagfiles/hello.jsp", "WEB-INF/tags/helloWorld.tag",
                     "jsp/jsp2/tagfiles/hello.jsp"},
                    {"Hello, world!"}},
        ExamplePage{"TagFilePanel",
                    "/jsp/jsp2/tagfiles/panel.jsp",
                    Compare::Exact,
                    {"jsp/jsp2/tagfiles/panel.jsp", "WEB-INF/tags/panel.tag",
                     "jsp/jsp2/tagfiles/panel.jsp", "WEB-INF/tags/panel.tag",
                     "jsp/jsp2/tagfiles/panel.jsp", "WEB-INF/tags/panel.tag",
                     "jsp/jsp2/tagfiles/panel.jsp", "WEB-INF/tags/panel.tag",
                     "jsp/jsp2/tagfiles/panel.jsp"},
                    {"First panel.", "Third panel."}},
        ExamplePage{"TagFileProducts",
                    "/jsp/jsp2/tagfiles/products.jsp",
                    Compare::Exact,
                    {"jsp/jsp2/tagfiles/products.jsp", "WEB-INF/tags/displayProducts.tag",
                     "jsp/jsp2/tagfiles/products.jsp", "WEB-INF/tags/displayProducts.tag",
                     "jsp/jsp2/tagfiles/products.jsp"},
                    {"Item: Hand-held Color PDA"}},
        ExamplePage{"TagPluginChoose",
                    "/jsp/tagplugin/choose.jsp",
                    Compare::Exact,
                    {"jsp/tagplugin/choose.jsp"},
                    {"# 2"}},
        ExamplePage{"TagPluginForEach",
                    "/jsp/tagplugin/foreach.jsp",
                    Compare::Exact,
                    {"jsp/tagplugin/foreach.jsp"},
                    {"Iterating over a range"}},
        ExamplePage{"TagPluginIf",
                    "/jsp/tagplugin/if.jsp",
                    Compare::Exact,
                    {"jsp/tagplugin/if.jsp"},
                    {"It's true"}},
        ExamplePage{"ShoppingCart",
                    "/jsp/sessions/carts.jsp?itemId=1&submit=add",
                    Compare::Exact,
                    {"jsp/sessions/carts.jsp", "jsp/sessions/shopping.jsp"},
                    {"<li> X-files movie"}},
        ExamplePage{"ClassicTag",
                    "/jsp/simpletag/foo.jsp",
                    Compare::Exact,
                    {"jsp/simpletag/foo.jsp"},
                    {"Radio stations"}},
        ExamplePage{"XmlSyntax",
                    "/jsp/xml/xml.jsp",
                    Compare::Digits,
                    {"jsp/xml/xml.jsp"},
                    {"This sentence is enclosed in a jsp:text element."}},
        ExamplePage{"Snoop",
                    "/jsp/snp/snoop.jsp",
                    Compare::Exact,
                    {"jsp/snp/snoop.jsp"},
                    {"Request Information"}},
        ExamplePage{"JspToServlet",
                    "/jsp/jsptoserv/jsptoservlet.jsp",
                    Compare::Exact,
                    {"jsp/jsptoserv/jsptoservlet.jsp", "jsp/jsptoserv/hello.jsp"},
                    {"I have been invoked by"}}),
    [](const ::testing::TestParamInfo<ExamplePage>& p) { return std::string(p.param.name); });

} // namespace
