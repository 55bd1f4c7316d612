#include "fakemonitor.h"
#include "pagerunner/commandline.h"
#include "pagerunner/jsptext.h"
#include "pagerunner/jsptranslator.h"
#include "pagerunner/sourcemaplisting.h"
#include "support/refusingport.h"
#include "support/scopedenvironment.h"
#include "support/tempdir.h"
#include "tracewin/version.h"

#include <fcntl.h>
#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace pagerunner;
using ::testing::HasSubstr;

namespace {

const std::string examples = PAGERUNNER_EXAMPLES;

struct ProgramResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs the pagerunner program and collects its exit code and output.
ProgramResult runProgram(const std::vector<std::string>& args) {
    testsupport::TempDir dir;
    const std::string outPath = dir.str() + "/out", errPath = dir.str() + "/err";
    std::vector<std::string> argv{PAGERUNNER_EXE};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargv;
    for (std::string& a : argv)
        cargv.push_back(a.data());
    cargv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(out, 1);
        ::dup2(err, 2);
        ::execv(cargv[0], cargv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, testsupport::readFile(outPath),
            testsupport::readFile(errPath)};
}

// The text a span covers in a page, cut by the monitor's column rule.
std::string textOfSpan(const std::string& page, const JspSpan& span) {
    const JspText text(page);
    auto offsetOf = [&](const JspPosition& p) {
        const auto& line = text.lines().at(static_cast<std::size_t>(p.line - 1));
        return line.begin + JspText::offsetOfColumn(
                                text.content(static_cast<std::size_t>(p.line - 1)), p.column);
    };
    const std::size_t b = offsetOf(span.start), e = offsetOf(span.end);
    return e >= b ? page.substr(b, e - b) : std::string();
}

std::string trimmed(std::string s) {
    s.erase(0, s.find_first_not_of(" \t"));
    s.erase(s.find_last_not_of(" \t") + 1);
    return s;
}

TEST(CommandLineOptions, ReadsEveryOptionInBothForms) {
    CommandLine cl =
        CommandLine::parse({"--port", "9001", "--root=/r", "--work", "/w", "--param", "user=Ann",
                            "--param=n=5", "--file-id", "40", "--wait", "3", "page.jsp"});
    EXPECT_EQ(cl.mode, CommandLine::Mode::Run);
    EXPECT_EQ(cl.port, 9001);
    EXPECT_EQ(cl.root, "/r");
    EXPECT_EQ(cl.options.workDir, "/w");
    EXPECT_EQ(cl.options.page, "page.jsp");
    EXPECT_EQ(cl.options.firstFileId, 40);
    EXPECT_EQ(cl.options.connectWait, std::chrono::seconds(3));
    EXPECT_EQ(cl.options.params, (std::map<std::string, std::string>{{"n", "5"}, {"user", "Ann"}}));
    EXPECT_EQ(CommandLine::parse({"--translate", "p.jsp", "--work", "/w"}).mode,
              CommandLine::Mode::Translate);
    EXPECT_EQ(CommandLine::parse({"x.jsp", "--help"}).mode, CommandLine::Mode::Help);
}

TEST(CommandLineOptions, RejectsWhatItCannotUseWithAMessage) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{}, "no page given"},
        {{"a.jsp", "b.jsp"}, "one page at a time"},
        {{"--port"}, "needs a value"},
        {{"--port", "0", "a.jsp"}, "from 1 to 65535"},
        {{"--port", "80x", "a.jsp"}, "from 1 to 65535"},
        {{"--param", "novalue", "a.jsp"}, "NAME=VALUE"},
        {{"--param", "=v", "a.jsp"}, "NAME=VALUE"},
        {{"--verbose", "a.jsp"}, "unknown option --verbose"},
        {{"--file-id", "0", "a.jsp"}, "file id must be a number"},
        {{"--wait", "soon", "a.jsp"}, "number of seconds"},
    };
    for (const auto& [args, message] : cases) {
        try {
            CommandLine::parse(args);
            ADD_FAILURE() << "accepted: " << message;
        } catch (const std::invalid_argument& e) {
            EXPECT_THAT(e.what(), HasSubstr(message));
        }
    }
}

TEST(CommandLineOptions, ThePortComesFromTheDebugSettingsOfTheRoot) {
    testsupport::TempDir root;
    CommandLine cl = CommandLine::parse({"--root", root.str(), "a.jsp"});
    EXPECT_EQ(cl.resolvePort(), 8082); // no settings file
    root.write("jspvlm/tools/com-zet-kwo-ui-jspdebug/jspdebug.properties",
               "port=9123\r\nDebugModeOn=true\n");
    EXPECT_EQ(cl.resolvePort(), 9123);
    root.write("jspvlm/tools/com-zet-kwo-ui-jspdebug/jspdebug.properties", "port=none\n");
    EXPECT_EQ(cl.resolvePort(), 8082);
    cl.port = 7000;
    EXPECT_EQ(cl.resolvePort(), 7000);
}

TEST(CommandLineOptions, ThePortComesFromTheUsersCopyWhenTheInstallIsNotTheirs) {
    testsupport::TempDir root;
    testsupport::ScopedEnvironment xdg("XDG_CONFIG_HOME", root.str() + "/config");
    root.write("jspvlm/tools/com-zet-kwo-ui-jspdebug/user.settings", "");
    root.write("jspvlm/tools/com-zet-kwo-ui-jspdebug/jspdebug.properties", "port=9123\n");
    const CommandLine cl = CommandLine::parse({"--root", root.str(), "a.jsp"});
    EXPECT_EQ(cl.settingsFile(), root.str() + "/config/tracewin/jspdebug.properties");
    EXPECT_EQ(cl.resolvePort(), 9123); // the installed default, copied for the user
    root.write("config/tracewin/jspdebug.properties", "port=9124\nDebugModeOn=true\n");
    EXPECT_EQ(cl.resolvePort(), 9124); // the monitor's file, as the user changed it
}

TEST(CommandLineOptions, TheDefaultWorkFolderIsTheUsersOwn) {
    testsupport::TempDir dir;
    testsupport::ScopedEnvironment home("HOME", dir.str() + "/home");
    {
        testsupport::ScopedEnvironment cache("XDG_CACHE_HOME", dir.str() + "/cache");
        EXPECT_EQ(PageRunner::defaultWorkDir(), dir.str() + "/cache/tracewin/pagerunner-work");
    }
    testsupport::ScopedEnvironment relative("XDG_CACHE_HOME", "cache");
    EXPECT_EQ(PageRunner::defaultWorkDir(), dir.str() + "/home/.cache/tracewin/pagerunner-work");
    EXPECT_EQ(PageRunner::userWorkDir("tomcatrunner-work"),
              dir.str() + "/home/.cache/tracewin/tomcatrunner-work");
}

TEST(TranslateCommand, EveryMappedSpanOfTheExamplesCoversTheJspTextThatProducedIt) {
    testsupport::TempDir work;
    for (const char* name :
         {"plain.jsp", "loop.jsp", "include.jsp", "header.jsp", "throws.jsp", "javaerror.jsp"}) {
        SCOPED_TRACE(name);
        const std::string page = examples + "/" + name;
        const ProgramResult r = runProgram({"--translate", page, "--work", work.str()});
        EXPECT_EQ(r.exitCode,
                  std::string(name) == "javaerror.jsp" ? ExitCode::TranslationFailed : ExitCode::Ok)
            << r.err;
        const std::string javaPath = work.str() + "/" + JspTranslator::className(name) + ".java";
        const std::string java = testsupport::readFile(javaPath);
        const auto listing =
            SourceMapListing::read(testsupport::readFile(SourceMapListing::pathFor(javaPath)));
        ASSERT_TRUE(listing);
        ASSERT_FALSE(listing->empty());
        std::vector<std::string> javaLines;
        std::istringstream in(java);
        for (std::string l; std::getline(in, l);)
            javaLines.push_back(l);
        const std::string jsp = testsupport::readFile(page);
        for (const SourceMapListing::Row& row : *listing) {
            SCOPED_TRACE(row.javaLine);
            // The span, cut from the page itself, is the text the listing shows.
            EXPECT_EQ(textOfSpan(jsp, row.span), row.jspText);
            // The Java line is mapped and holds what that text produces.
            const std::string& line = javaLines.at(static_cast<std::size_t>(row.javaLine - 1));
            const std::string call = "vlmAgent.line(" + std::to_string(row.javaLine) + ");";
            ASSERT_TRUE(line.starts_with(call)) << line;
            const std::string payload = trimmed(line.substr(call.size()));
            if (row.role == "template") {
                EXPECT_TRUE(payload.starts_with("out.write(\"" +
                                                JspTranslator::javaStringBody(row.jspText)))
                    << payload;
            } else if (row.role == "expression") {
                ASSERT_TRUE(row.jspText.starts_with("<%=") && row.jspText.ends_with("%>"));
                EXPECT_EQ(payload, "out.print(" +
                                       trimmed(row.jspText.substr(3, row.jspText.size() - 5)) +
                                       ");");
            } else if (row.role == "scriptlet" || row.role == "declaration") {
                EXPECT_THAT(row.jspText, HasSubstr(payload));
            } else if (row.role == "comment" || row.role == "directive") {
                EXPECT_EQ(payload, "// " + row.jspText);
            } else {
                EXPECT_EQ(row.role, "include");
                EXPECT_THAT(payload, ::testing::StartsWith("pageContext.include(\""));
            }
        }
    }
}

TEST(TranslateCommand, APageWithAJspErrorWritesNoJavaFileAndSaysWhy) {
    testsupport::TempDir work;
    const ProgramResult r =
        runProgram({"--translate", examples + "/jsperror.jsp", "--work", work.str()});
    EXPECT_EQ(r.exitCode, ExitCode::TranslationFailed);
    EXPECT_THAT(r.err, HasSubstr("4,1: Unterminated <%= expression, no closing %>"));
    EXPECT_FALSE(std::filesystem::exists(work.str() + "/jsperror_jsp.java"));
}

TEST(ProgramExit, CodesAndMessagesForEachFailure) {
    testsupport::TempDir work;
    ProgramResult r = runProgram({"--help"});
    EXPECT_EQ(r.exitCode, ExitCode::Ok);
    EXPECT_THAT(r.out, HasSubstr("Usage: pagerunner"));
    EXPECT_THAT(r.out, HasSubstr("--version"));

    r = runProgram({"--version"});
    EXPECT_EQ(r.exitCode, ExitCode::Ok);
    EXPECT_EQ(r.out, tracewin::versionLine("pagerunner") + "\n");

    r = runProgram({"--bogus"});
    EXPECT_EQ(r.exitCode, ExitCode::UsageError);
    EXPECT_THAT(r.err, HasSubstr("unknown option --bogus"));

    r = runProgram({"--work", work.str(), work.str() + "/missing.jsp"});
    EXPECT_EQ(r.exitCode, ExitCode::PageUnreadable);
    EXPECT_THAT(r.err, HasSubstr("cannot read the page"));

    const testsupport::RefusingPort refusing;
    r = runProgram(
        {"--port", std::to_string(refusing.port()), "--work", work.str(), examples + "/plain.jsp"});
    EXPECT_EQ(r.exitCode, ExitCode::ConnectFailed);
    EXPECT_THAT(r.err, HasSubstr("Connection refused"));
}

TEST(ProgramExit, RunsAPageAgainstTheMonitorWithParameters) {
    testsupport::TempDir work;
    testsupport::FakeMonitor monitor;
    ProgramResult result;
    std::thread program([&] {
        result = runProgram({"--port", std::to_string(monitor.port()), "--work", work.str(),
                             "--param", "user=Bo", examples + "/loop.jsp"});
    });
    auto c = monitor.accept();
    std::string html;
    while (c) {
        auto r = c->record();
        if (!r)
            break;
        if (r->starts_with("%H"))
            html += r->substr(r->find('&') + 1);
        if (*r == "%E") {
            c->reply("%T");
            break;
        }
        c->reply("%N1&1");
    }
    program.join();
    EXPECT_EQ(result.exitCode, ExitCode::Ok) << result.err;
    EXPECT_THAT(html, HasSubstr("Squares for Bo"));
}

} // namespace
