// The source maps and class names Jasper really writes: a small web application is
// translated and compiled by Tomcat's offline JSP compiler, JspC, once for the test suite.
#include "jdwp/jaspernames.h"
#include "jdwp/sourcemap.h"
#include "support/tempdir.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

using jdwp::JasperNames;
using jdwp::SourceMap;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace fs = std::filesystem;

namespace {

const std::string installHint = " (run scripts/install-deps)";

// Tomcat's jars JspC needs, the Java compiler it compiles with included.
const char* const jasperJars[] = {
    "tomcat10-jasper.jar",  "tomcat10-jasper-el.jar",   "tomcat10-el-api.jar",
    "tomcat10-jsp-api.jar", "tomcat10-servlet-api.jar", "tomcat10-api.jar",
    "tomcat10-util.jar",    "tomcat10-util-scan.jar",   "tomcat10-juli.jar",
    "eclipse-jdt-core.jar",
};

// A page written by the test rather than kept in the data folder, so that its CR LF line
// ends survive any checkout: tabs, CR LF and non-ASCII text, which Jasper's own pages do
// not have.
const std::string crlfPage = "<%@ page pageEncoding=\"UTF-8\" %>\r\n"
                             "<p>\tcrlf-template</p>\r\n"
                             "<p>Gr\xc3\xbc\xc3\x9f"
                             "e \xe2\x80\x93 \xe6\x97\xa5\xe6\x9c\xac</p>\r\n"
                             "<%\tString greeting = \"Gr\xc3\xbc\xc3\x9f"
                             "e\"; /* crlf-scriptlet */ %>\r\n"
                             "<p>\t<%= greeting /* crlf-expression */ %></p>\r\n";

// Runs a program to its end, its output going to `log`; gives its exit status.
int run(std::vector<std::string> argv, const fs::path& log) {
    std::vector<char*> args;
    for (std::string& a : argv)
        args.push_back(a.data());
    args.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(fd, 1);
        ::dup2(fd, 2);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string lastLines(const std::string& text) {
    const std::size_t keep = 3000;
    return text.size() > keep ? "..." + text.substr(text.size() - keep) : text;
}

// The test web application, translated and compiled by JspC in a temporary folder.
class JspcOutput {
public:
    JspcOutput() {
        const std::string java = TRACEWIN_JAVA, javac = TRACEWIN_JAVAC;
        if (!fs::exists(java) || !fs::exists(javac))
            throw std::runtime_error("java or javac is missing" + installHint);
        std::string classpath = (dir_.path() / "antstub").string();
        for (const char* jar : jasperJars) {
            const fs::path path = fs::path(TRACEWIN_JASPER_JARS_DIR) / jar;
            if (!fs::exists(path))
                throw std::runtime_error(path.string() + " is missing" + installHint);
            classpath += ":" + path.string();
        }
        fs::copy(fs::path(JDWP_TEST_DATA) / "webapp", webapp(), fs::copy_options::recursive);
        dir_.write("webapp/crlf.jsp", crlfPage);

        // JspC is an Ant task: a few stand-ins let it load without Ant.
        std::vector<std::string> compileStubs = {javac, "-d", (dir_.path() / "antstub").string()};
        for (const auto& entry :
             fs::recursive_directory_iterator(fs::path(JDWP_TEST_DATA) / "antstub"))
            if (entry.path().extension() == ".java")
                compileStubs.push_back(entry.path().string());
        check(run(compileStubs, dir_.path() / "javac.log"), "javac", "javac.log");

        // One thread: the parallel mode has been seen to drop a block and shift lines.
        check(run({java, "-cp", classpath, "org.apache.jasper.JspC", "-webapp", webapp().string(),
                   "-d", out().string(), "-compile", "-smap", "-dumpsmap", "-threadCount", "1",
                   "-die"},
                  dir_.path() / "jspc.log"),
              "JspC", "jspc.log");
    }

    fs::path webapp() const { return dir_.path() / "webapp"; }
    fs::path out() const { return dir_.path() / "out"; }

    // The file of a class JspC wrote, by its name: ".class", ".class.smap" or ".java".
    fs::path classFile(const std::string& className, const std::string& suffix) const {
        std::string relative = className;
        std::replace(relative.begin(), relative.end(), '.', '/');
        return out() / (relative + suffix);
    }
    std::string read(const fs::path& path) const { return testsupport::readFile(path.string()); }

private:
    void check(int status, const std::string& what, const std::string& log) const {
        if (status != 0)
            throw std::runtime_error(what + " failed with status " + std::to_string(status) +
                                     ":\n" + lastLines(read(dir_.path() / log)));
    }

    testsupport::TempDir dir_;
};

// The number of the only line of `text` holding `marker`, counting lines by LF as Jasper
// does; 0 when the marker is not there exactly once.
int lineOf(const std::string& text, const std::string& marker) {
    const std::size_t at = text.find(marker);
    if (at == std::string::npos || text.find(marker, at + 1) != std::string::npos)
        return 0;
    return 1 + static_cast<int>(std::count(text.begin(), text.begin() + at, '\n'));
}

// "path:line", or "nowhere" for a Java line that maps to no page line.
std::string where(const std::optional<jdwp::SourceLocation>& location) {
    return location ? location->file.path + ":" + std::to_string(location->line) : "nowhere";
}

// Few cases, each checking much: under CTest every case is its own process and translates
// the pages again.
class JasperOutput : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        try {
            jspc = std::make_unique<JspcOutput>();
        } catch (const std::exception& e) {
            setupError = e.what();
        }
    }
    static void TearDownTestSuite() { jspc.reset(); }
    void SetUp() override { ASSERT_TRUE(jspc) << setupError; }

    static SourceMap mapOf(const std::string& className) {
        return SourceMap::parse(jspc->read(jspc->classFile(className, ".class.smap")));
    }

    static std::unique_ptr<JspcOutput> jspc;
    static std::string setupError;
};

std::unique_ptr<JspcOutput> JasperOutput::jspc;
std::string JasperOutput::setupError;

TEST_F(JasperOutput, ClassNamesAndMapsAreThoseJspcWrote) {
    const struct {
        const char* path;
        const char* className;
    } pages[] = {
        {"/index.jsp", "org.apache.jsp.index_jsp"},
        {"/loop.jsp", "org.apache.jsp.loop_jsp"},
        {"/tagged.jsp", "org.apache.jsp.tagged_jsp"},
        {"/crlf.jsp", "org.apache.jsp.crlf_jsp"},
        {"/WEB-INF/jsp/java-error.jsp", "org.apache.jsp.WEB_002dINF.jsp.java_002derror_jsp"},
        {"/protected/403.jsp", "org.apache.jsp.protected_._403_jsp"},
        {"/sub-dir/_under.jsp", "org.apache.jsp.sub_002ddir._005funder_jsp"},
        {"/WEB-INF/tags/x.tag", "org.apache.jsp.tag.web.x_tag"},
    };
    std::set<std::string> expectedClasses;
    for (const auto& page : pages) {
        const JasperNames names(page.path);
        EXPECT_EQ(names.className(), page.className);
        expectedClasses.insert(names.className());

        // The dumped map is the class's SourceDebugExtension, word for word.
        const std::string smap = jspc->read(jspc->classFile(page.className, ".class.smap"));
        EXPECT_NE(jspc->read(jspc->classFile(page.className, ".class")).find(smap),
                  std::string::npos)
            << page.path;
        const SourceMap map = SourceMap::parse(smap);
        const std::string simpleName = names.className().substr(names.className().rfind('.') + 1);
        EXPECT_EQ(map.outputFileName(), simpleName + ".java");
        EXPECT_EQ(map.defaultStratum(), "JSP");
        EXPECT_THAT(map.strata(), ElementsAre("Java", "JSP"));
        ASSERT_FALSE(map.files().empty()) << page.path;
        EXPECT_EQ(map.files().front().path, std::string(page.path).substr(1));
    }

    // A fragment's Helper is an inner class with a map of its own, naming the outer class's
    // Java file.
    const JasperNames tagged("/tagged.jsp");
    const std::string helper = tagged.className() + "$Helper";
    EXPECT_TRUE(tagged.owns(helper));
    expectedClasses.insert(helper);
    EXPECT_EQ(mapOf(helper).outputFileName(), "tagged_jsp.java");

    std::set<std::string> written;
    for (const auto& entry : fs::recursive_directory_iterator(jspc->out()))
        if (entry.path().extension() == ".class") {
            std::string name = fs::relative(entry.path(), jspc->out()).replace_extension().string();
            std::replace(name.begin(), name.end(), '/', '.');
            written.insert(name);
        }
    EXPECT_EQ(written, expectedClasses);
}

// Known Java lines, found by a marker the page puts into the generated Java, map to the
// page line holding the marker, and back.
TEST_F(JasperOutput, JavaLinesMapToTheirPageLinesBothWays) {
    const struct {
        const char* className;
        const char* javaMarker;
        const char* file; // in the web application
        const char* pageMarker;
    } rows[] = {
        {"org.apache.jsp.index_jsp", "index-scriptlet", "index.jsp", "index-scriptlet"},
        {"org.apache.jsp.index_jsp", "index-expression", "index.jsp", "index-expression"},
        {"org.apache.jsp.index_jsp", "banner-scriptlet", "WEB-INF/include/banner.jspf",
         "banner-scriptlet"},
        {"org.apache.jsp.index_jsp", "banner-expression", "WEB-INF/include/banner.jspf",
         "banner-expression"},
        {"org.apache.jsp.loop_jsp", "loop-head", "loop.jsp", "loop-head"},
        {"org.apache.jsp.loop_jsp", "loop-expression", "loop.jsp", "loop-expression"},
        {"org.apache.jsp.loop_jsp", "loop-close", "loop.jsp", "loop-close"},
        {"org.apache.jsp.loop_jsp", "loop-body-statement", "loop.jsp", "loop-body-statement"},
        {"org.apache.jsp.loop_jsp", "loop-total-expression", "loop.jsp", "loop-total-expression"},
        {"org.apache.jsp.crlf_jsp", "crlf-scriptlet", "crlf.jsp", "crlf-scriptlet"},
        {"org.apache.jsp.crlf_jsp", "crlf-expression", "crlf.jsp", "crlf-expression"},
        {"org.apache.jsp.WEB_002dINF.jsp.java_002derror_jsp", "java-error-expression",
         "WEB-INF/jsp/java-error.jsp", "java-error-expression"},
        {"org.apache.jsp.protected_._403_jsp", "forbidden-expression", "protected/403.jsp",
         "forbidden-expression"},
        {"org.apache.jsp.tagged_jsp", "//  t:x", "tagged.jsp", "<t:x>"},
        {"org.apache.jsp.tagged_jsp", ".doTag();", "tagged.jsp", "<t:x>"},
        {"org.apache.jsp.tagged_jsp$Helper", "fragment-expression", "tagged.jsp",
         "fragment-expression"},
        {"org.apache.jsp.tagged_jsp$Helper", "body-expression", "tagged.jsp", "body-expression"},
        {"org.apache.jsp.tag.web.x_tag", "getFrag().invoke(", "WEB-INF/tags/x.tag", "<jsp:invoke"},
        {"org.apache.jsp.tag.web.x_tag", "getJspBody().invoke(", "WEB-INF/tags/x.tag",
         "<jsp:doBody"},
    };
    for (const auto& row : rows) {
        const std::string outer =
            std::string(row.className).substr(0, std::string(row.className).find('$'));
        const int javaLine = lineOf(jspc->read(jspc->classFile(outer, ".java")), row.javaMarker);
        const int pageLine = lineOf(jspc->read(jspc->webapp() / row.file), row.pageMarker);
        ASSERT_GT(javaLine, 0) << row.javaMarker;
        ASSERT_GT(pageLine, 0) << row.pageMarker;
        const SourceMap map = mapOf(row.className);

        const std::string page = std::string(row.file) + ":" + std::to_string(pageLine);
        EXPECT_EQ(where(map.toSource(javaLine)), page) << row.javaMarker;

        const std::vector<int> javaLines = map.toJava(row.file, pageLine);
        EXPECT_THAT(javaLines, Contains(javaLine)) << row.pageMarker;
        for (const int line : javaLines)
            EXPECT_EQ(where(map.toSource(line)), page) << row.pageMarker << ", Java line " << line;
    }
}

// What Jasper maps with an increment of 0, and so what no Java line reaches: template text,
// and the line after the last line of a page that ends in a line end.
TEST_F(JasperOutput, TemplateTextAndTheLineAfterTheEndMapNowhere) {
    const struct {
        const char* className;
        const char* javaMarker;
    } unmapped[] = {
        {"org.apache.jsp.index_jsp", "banner-template"},
        {"org.apache.jsp.index_jsp", "index-after-include"},
        {"org.apache.jsp.index_jsp", "catch (java.lang.Throwable t)"},
        {"org.apache.jsp.loop_jsp", "catch (java.lang.Throwable t)"},
        {"org.apache.jsp.crlf_jsp", "crlf-template"},
        {"org.apache.jsp.tag.web.x_tag", "tag-before"},
        {"org.apache.jsp.sub_002ddir._005funder_jsp", "under-page"},
    };
    for (const auto& row : unmapped) {
        const int javaLine =
            lineOf(jspc->read(jspc->classFile(row.className, ".java")), row.javaMarker);
        ASSERT_GT(javaLine, 0) << row.javaMarker;
        EXPECT_EQ(where(mapOf(row.className).toSource(javaLine)), "nowhere") << row.javaMarker;
    }

    // Jasper's last entry for a page of N lines that ends in a line end reaches line N+1,
    // with increment 0.
    for (const char* page : {"index.jsp", "loop.jsp", "crlf.jsp"}) {
        const std::string text = jspc->read(jspc->webapp() / page);
        const int afterLastLine = 1 + static_cast<int>(std::count(text.begin(), text.end(), '\n'));
        const SourceMap map = mapOf(JasperNames(std::string("/") + page).className());
        EXPECT_THAT(map.toJava(page, afterLastLine), IsEmpty()) << page;
    }

    // The <t:x> line covers the whole call of the tag; the fragment's lines are in the
    // Helper's map only.
    const std::string taggedJava =
        jspc->read(jspc->classFile("org.apache.jsp.tagged_jsp", ".java"));
    const int fragmentLine = lineOf(taggedJava, "fragment-expression");
    EXPECT_EQ(where(mapOf("org.apache.jsp.tagged_jsp").toSource(fragmentLine)), "nowhere");
    const std::vector<int> tagCall = mapOf("org.apache.jsp.tagged_jsp").toJava("tagged.jsp", 3);
    ASSERT_FALSE(tagCall.empty());
    EXPECT_EQ(tagCall.front(), lineOf(taggedJava, "//  t:x"));
    EXPECT_GT(tagCall.back(), lineOf(taggedJava, ".doTag();"));
}

} // namespace
