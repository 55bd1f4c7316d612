#include "fakemonitor.h"
#include "pagerunner/jsptranslator.h"
#include "support/refusingport.h"
#include "support/tempdir.h"
#include "tracehook/pagevariables.h"

#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace pagerunner;
using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testsupport::BackgroundRun;
using testsupport::FakeConnection;
using testsupport::FakeMonitor;
using tracehook::PageVariable;
using tracehook::PageVariables;

namespace {

const std::string examples = PAGERUNNER_EXAMPLES;

class Executor : public ::testing::Test {
protected:
    PageRunnerOptions options(const std::string& page) {
        PageRunnerOptions o;
        o.page = page.find('/') == std::string::npos ? examples + "/" + page : page;
        o.port = monitor.port();
        o.workDir = work.str();
        return o;
    }
    std::string javaOf(const std::string& jspName) const {
        return work.str() + "/" + JspTranslator::className(jspName) + ".java";
    }

    // Answers every record with a Run continue until the page ends; returns the records.
    static std::vector<std::string> runToEnd(FakeConnection& c, const std::string& id = "1") {
        std::vector<std::string> records;
        while (auto r = c.record()) {
            records.push_back(*r);
            if (r->starts_with("%E") || r->starts_with("%A")) {
                c.reply("%T");
                break;
            }
            c.reply("%N" + id + "&1");
        }
        return records;
    }
    static std::string html(const std::vector<std::string>& records) {
        std::string out;
        for (const std::string& r : records)
            if (r.starts_with("%H"))
                out += r.substr(r.find('&') + 1);
        return out;
    }
    // JSP start lines of the line records, in order.
    static std::vector<int> jspLines(const std::vector<std::string>& records) {
        std::vector<int> lines;
        for (const std::string& r : records) {
            if (!r.starts_with("%L"))
                continue;
            std::size_t a = r.find('&');
            a = r.find('&', a + 1);
            lines.push_back(std::stoi(r.substr(a + 1)));
        }
        return lines;
    }

    testsupport::TempDir work;
    FakeMonitor monitor;
};

// Fetches the next record and checks that it begins as expected.
#define EXPECT_RECORD(conn, prefix)                                                                \
    do {                                                                                           \
        auto rec_ = (conn).record();                                                               \
        ASSERT_TRUE(rec_) << "no record, expected " << (prefix);                                   \
        EXPECT_THAT(*rec_, ::testing::StartsWith(prefix));                                         \
    } while (0)

TEST_F(Executor, PlainPageSendsTheFileRecordThenLineAndHtmlRecordsThenTheEnd) {
    BackgroundRun run(options("plain.jsp"));
    auto c = monitor.accept();
    ASSERT_TRUE(c);
    const std::vector<std::string> records = runToEnd(*c);
    const std::string jsp = examples + "/plain.jsp";
    EXPECT_THAT(records,
                ElementsAre("%F1&" + jsp + "&" + javaOf("plain.jsp"), //
                            "%L1&20&1&1&1&7", "%H1&<html>\n",         //
                            "%L1&21&2&1&2&39", "%H1&<head><title>Plain page</title></head>\n",
                            "%L1&22&3&1&3&7", "%H1&<body>\n", //
                            "%L1&23&4&1&4&31", "%H1&<h1>Hello from pagerunner</h1>\n",
                            "%L1&24&5&1&5&40", "%H1&<p>This page is template text only.</p>\n",
                            "%L1&25&6&1&6&8", "%H1&</body>\n", //
                            "%L1&26&7&1&7&8", "%H1&</html>\n", //
                            "%E"));
    // Every record arrived in one piece.
    EXPECT_EQ(c->reads(), static_cast<int>(records.size()));
    EXPECT_EQ(run.join(), ExitCode::Ok);
    EXPECT_TRUE(std::filesystem::exists(javaOf("plain.jsp")));
}

TEST_F(Executor, CountedLoopsRepeatTheirBodyAndExpressionsPrintValues) {
    PageRunnerOptions o = options("loop.jsp");
    o.params["user"] = "Ann";
    BackgroundRun run(o);
    auto c = monitor.accept();
    ASSERT_TRUE(c);
    const std::vector<std::string> records = runToEnd(*c);
    std::vector<int> expected{3, 4, 5, 5, 5, 6};
    for (int pass = 0; pass < 3; ++pass) {
        expected.push_back(7);
        expected.insert(expected.end(), 5, 8);
        expected.push_back(9);
    }
    expected.insert(expected.end(), {7, 10, 11, 11, 11, 12, 13});
    EXPECT_EQ(jspLines(records), expected);
    const std::string out = html(records);
    EXPECT_THAT(out, HasSubstr("<h1>Squares for Ann</h1>"));
    EXPECT_THAT(out, HasSubstr("<li>1 squared is 1</li>\n\n  <li>2 squared is 4</li>\n\n"
                               "  <li>3 squared is 9</li>"));
    EXPECT_THAT(out, HasSubstr("<p>Today is [new java.util.Date()]</p>"));
    EXPECT_EQ(records.back(), "%E");
    EXPECT_EQ(run.join(), ExitCode::Ok);
}

TEST_F(Executor, NestedLoopsClosedOnOneLineAndBoundsFromParameters) {
    const std::string page = work.write(
        "nested.jsp",
        "<% for (int i = 0; i < 2; i++) {\n"
        "     for (int j = 0; j < Integer.parseInt(request.getParameter(\"n\")); j++) { %>"
        "<%= i * 10 + j %>,<% } } %>\n"
        "<% for (int k = 5; k < 5; k++) { %>never<% } %>done<% out.println(\"!\"); %>");
    PageRunnerOptions o = options(page);
    o.params["n"] = "3";
    BackgroundRun run(o);
    auto c = monitor.accept();
    ASSERT_TRUE(c);
    EXPECT_EQ(html(runToEnd(*c)), "0,1,2,10,11,12,\ndone!\n");
    EXPECT_EQ(run.join(), ExitCode::Ok);
}

TEST_F(Executor, BreakpointRepliesAreAnsweredWithAContinueRecordWithoutMovingThePage) {
    BackgroundRun run(options("plain.jsp"));
    auto c = monitor.accept();
    ASSERT_TRUE(c);
    EXPECT_RECORD(*c, "%F1&");
    c->reply("%N1&0");
    EXPECT_RECORD(*c, "%L1&20&");
    c->reply("%B1&4&1");
    EXPECT_EQ(c->record(), "%N");
    c->reply("%B1&5&1");
    EXPECT_EQ(c->record(), "%N");
    c->reply("%B1&4&2");
    EXPECT_EQ(c->record(), "%N");
    c->reply("%N1&0"); // only now does line 1 run
    EXPECT_EQ(c->record(), "%H1&<html>\n");
    c->reply("%N1&0");
    EXPECT_RECORD(*c, "%L1&21&");
    EXPECT_EQ(run.runner().breakpoints(1), (std::set<std::int32_t>{5}));
    c->reply("%T");
    EXPECT_EQ(run.join(), ExitCode::Ok);
}

TEST_F(Executor, SwitchRepliesAreAnsweredWithTheCurrentPosition) {
    BackgroundRun run(options("plain.jsp"));
    auto c = monitor.accept();
    ASSERT_TRUE(c);
    EXPECT_RECORD(*c, "%F1&");
    c->reply("%S1");
    EXPECT_EQ(c->record(), "%S1&0&0&0&0&0"); // no line has run yet
    c->reply("%N1&0");
    EXPECT_EQ(c->record(), "%L1&20&1&1&1&7");
    c->reply("%S1", "\r\n");
    EXPECT_EQ(c->record(), "%S1&20&1&1&1&7");
    c->reply("%N1&1", "\r\n");
    EXPECT_EQ(c->record(), "%H1&<html>\n");
    c->reply(""); // the single-file monitor resumes with an empty line
    EXPECT_EQ(c->record(), "%L1&21&2&1&2&39");
    c->reply("%T");
    EXPECT_TRUE(c->closedByPeer());
    EXPECT_EQ(run.join(), ExitCode::Ok);
}

TEST_F(Executor, ServerExitEndsTheRunCleanly) {
    BackgroundRun run(options("loop.jsp"));
    auto c = monitor.accept();
    ASSERT_TRUE(c);
    EXPECT_RECORD(*c, "%F1&");
    c->reply("%N1&0");
    EXPECT_RECORD(*c, "%L1&");
    c->reply("%T");
    EXPECT_TRUE(c->closedByPeer());
    EXPECT_EQ(run.join(), ExitCode::Ok);
}

TEST_F(Executor, JspErrorsAreWalkedAndTheWalkStopsAtTheEnds) {
    BackgroundRun run(options("jsperror.jsp"));
    auto c = monitor.accept();
    ASSERT_TRUE(c);
    EXPECT_EQ(c->record(), "%M1&" + examples + "/jsperror.jsp"); // no Java file: only JSP errors
    const std::string error = "%P1&2&1&1&4&1&5&0& Unterminated <%= expression, no closing %>&14";
    for (const char* reply : {"%N1&23", "%N1&22", "%N1&23", "%N1"}) {
        c->reply(reply);
        EXPECT_EQ(c->record(), error) << reply;
    }
    c->reply("%T");
    EXPECT_TRUE(c->closedByPeer());
    EXPECT_EQ(run.join(), ExitCode::Ok);
    EXPECT_FALSE(std::filesystem::exists(javaOf("jsperror.jsp")));
}

TEST_F(Executor, TheJavaErrorExampleShowsTheUnclosedLoop) {
    BackgroundRun run(options("javaerror.jsp"));
    auto c = monitor.accept();
    ASSERT_TRUE(c);
    EXPECT_EQ(c->record(), "%M1&" + examples + "/javaerror.jsp&" + javaOf("javaerror.jsp"));
    c->reply("%N1&23");
    // The only error: the loop's brace on Java line 22, column 59, placed on the JSP span
    // of "<% for (int i = 0; i < 2; i++) { %>".
    EXPECT_EQ(c->record(), "%P1&3&22&59&3&1&3&36& error: '{' is never closed (reached end of file "
                           "while parsing)&14");
    c->reply("%T");
    EXPECT_EQ(run.join(), ExitCode::Ok);
}

TEST_F(Executor, JavaErrorsCarryTheirPositionInTheListAndTheJspSpanOfTheirLine) {
    const std::string page = work.write("braces.jsp", "<% } %>\n<% if (a) { %>\n<% { %>\n");
    BackgroundRun run(options(page));
    auto c = monitor.accept();
    ASSERT_TRUE(c);
    EXPECT_EQ(c->record(), "%M1&" + page + "&" + javaOf("braces.jsp"));
    auto position = [&](const char* reply) {
        c->reply(reply);
        std::optional<std::string> r = c->record();
        EXPECT_TRUE(r && r->starts_with("%P1&3&")) << reply;
        return r ? r->substr(r->rfind('&') + 1) + "@" + r->substr(0, r->find("& error")) : "";
    };
    const std::string first = position("%N1&23");
    EXPECT_THAT(first, ::testing::StartsWith("12@"));
    EXPECT_THAT(first, ::testing::EndsWith("&1&1&1&8")); // the span of "<% } %>"
    EXPECT_THAT(position("%N1&23"), ::testing::StartsWith("11@"));
    EXPECT_THAT(position("%N1&23"), ::testing::StartsWith("13@"));
    EXPECT_THAT(position("%N1&23"), ::testing::StartsWith("13@")); // stays on the last
    EXPECT_THAT(position("%N1&22"), ::testing::StartsWith("11@"));
    EXPECT_THAT(position("%N1&22"), ::testing::StartsWith("12@"));
    EXPECT_EQ(position("%N1&22"), first); // stays on the first
    c->reply("%T");
    EXPECT_EQ(run.join(), ExitCode::Ok);
}

TEST_F(Executor, IncludedPagesRunOnTheirOwnConnectionThenTheOuterPageSwitchesBack) {
    BackgroundRun run(options("include.jsp"));
    auto outer = monitor.accept();
    ASSERT_TRUE(outer);
    EXPECT_RECORD(*outer, "%F1&" + examples + "/include.jsp&");
    outer->reply("%N1&0");
    std::string includeLine;
    while (auto r = outer->record()) {
        if (r->starts_with("%L1&") && r->ends_with("&4&1&4&33")) {
            includeLine = r->substr(4);
            outer->reply("%N1&1");
            break;
        }
        outer->reply("%N1&1");
    }
    ASSERT_FALSE(includeLine.empty());

    auto inner = monitor.accept();
    ASSERT_TRUE(inner);
    const std::vector<std::string> innerRecords = runToEnd(*inner, "2");
    ASSERT_FALSE(innerRecords.empty());
    EXPECT_EQ(innerRecords.front(), "%F2&" + examples + "/header.jsp&" + javaOf("header.jsp"));
    EXPECT_EQ(html(innerRecords), "<div class=\"header\">\n\n<b>Header</b>\n</div>\n");
    EXPECT_EQ(innerRecords.back(), "%E");
    EXPECT_TRUE(inner->closedByPeer());

    // Back on the outer connection: the switch record with the include's position.
    EXPECT_EQ(outer->record(), "%S1&" + includeLine);
    // Asked for the included page, the outer page reports where that one stopped.
    outer->reply("%S2");
    std::optional<std::string> where = outer->record();
    ASSERT_TRUE(where);
    EXPECT_THAT(*where, ::testing::MatchesRegex("%S2&[0-9]+&4&1&4&7"));
    outer->reply("%N1&1");
    std::vector<std::string> rest = runToEnd(*outer);
    EXPECT_THAT(html(rest), HasSubstr("<p>After the header</p>"));
    EXPECT_EQ(rest.back(), "%E");
    EXPECT_EQ(run.join(), ExitCode::Ok);
}

TEST_F(Executor, AnIncludeThatCannotBeReadEndsTheOuterPageAbnormally) {
    const std::string page = work.write("outer.jsp", "a\n<jsp:include page=\"missing.jsp\"/>\nb");
    BackgroundRun run(options(page));
    auto c = monitor.accept();
    ASSERT_TRUE(c);
    const std::vector<std::string> records = runToEnd(*c);
    ASSERT_FALSE(records.empty());
    EXPECT_THAT(records.back(), ::testing::StartsWith("%A1&"));
    EXPECT_THAT(records.back(),
                HasSubstr("&2&1&2&34&Cannot include missing.jsp: cannot read the page"));
    EXPECT_EQ(run.join(), ExitCode::Ok);
}

TEST_F(Executor, APageThatIncludesItselfStopsAtTheNestingLimit) {
    const std::string page = work.write("self.jsp", "<jsp:include page=\"self.jsp\"/>");
    BackgroundRun run(options(page));
    std::vector<std::unique_ptr<FakeConnection>> connections;
    // Page k runs on connection k; the sixteenth may not include any more.
    for (int k = 1; k <= 16; ++k) {
        auto c = monitor.accept();
        ASSERT_TRUE(c) << k;
        const std::string id = std::to_string(k);
        EXPECT_RECORD(*c, "%F" + id + "&");
        c->reply("%N" + id + "&1");
        EXPECT_RECORD(*c, "%L" + id + "&");
        c->reply("%N" + id + "&1");
        connections.push_back(std::move(c));
    }
    for (int k = 16; k >= 1; --k) {
        FakeConnection& c = *connections[static_cast<std::size_t>(k - 1)];
        std::optional<std::string> end = c.record();
        ASSERT_TRUE(end) << k;
        EXPECT_THAT(*end, ::testing::StartsWith("%A" + std::to_string(k) + "&"));
        EXPECT_THAT(*end, HasSubstr("Includes nested more than 16 pages deep at self.jsp"));
        c.reply("%T");
    }
    EXPECT_EQ(run.join(), ExitCode::Ok);
}

TEST_F(Executor, AThrowEndsThePageWithTheAbnormalEndRecordAtItsPosition) {
    BackgroundRun run(options("throws.jsp"));
    auto c = monitor.accept();
    ASSERT_TRUE(c);
    const std::vector<std::string> records = runToEnd(*c);
    ASSERT_GE(records.size(), 2u);
    EXPECT_EQ(jspLines(records), (std::vector<int>{1, 2, 3, 5, 6}));
    const std::string& last = records.back();
    EXPECT_THAT(last,
                ::testing::MatchesRegex("%A1&[0-9]+&6&5&6&76&IllegalStateException: The basket "
                                        "is empty"));
    EXPECT_THAT(html(records), ::testing::Not(HasSubstr("Never written")));
    EXPECT_EQ(run.join(), ExitCode::Ok);
}

TEST_F(Executor, HtmlHoldingTheRecordTerminatorArrivesWhole) {
    const std::string page = work.write("odd.jsp", "<p>50%%%END%%%</p><%= \"x%%%END\" %>");
    BackgroundRun run(options(page));
    auto c = monitor.accept();
    ASSERT_TRUE(c);
    const std::vector<std::string> records = runToEnd(*c);
    EXPECT_EQ(html(records), "<p>50%%%END%%%</p>x%%%END");
    for (const std::string& r : records)
        EXPECT_TRUE(r == "%E" || r.starts_with("%F1&") || r.starts_with("%L1&") ||
                    r.starts_with("%H1&"))
            << r;
    EXPECT_EQ(run.join(), ExitCode::Ok);
}

TEST_F(Executor, APagePathTheRecordsCannotCarryIsRefused) {
    const std::string page = work.write("a&b.jsp", "x");
    BackgroundRun run(options(page));
    EXPECT_EQ(run.join(), ExitCode::PageUnreadable);
    EXPECT_THAT(run.runner().errorMessage(), HasSubstr("holds an '&'"));
}

TEST_F(Executor, AMissingPageIsReportedWithoutConnecting) {
    BackgroundRun run(options(work.str() + "/nothere.jsp"));
    EXPECT_EQ(run.join(), ExitCode::PageUnreadable);
    EXPECT_THAT(run.runner().errorMessage(), HasSubstr("cannot read the page"));
    EXPECT_FALSE(monitor.accept(100ms));
}

TEST_F(Executor, AWorkFolderThatCannotBeWrittenIsReportedWithoutConnecting) {
    PageRunnerOptions o = options("plain.jsp");
    o.workDir = work.write("not-a-folder", "x");
    BackgroundRun run(o);
    EXPECT_EQ(run.join(), ExitCode::PageUnreadable);
    EXPECT_THAT(run.runner().errorMessage(), HasSubstr("cannot create the work folder"));
    EXPECT_FALSE(monitor.accept(100ms));
}

TEST_F(Executor, ARefusedConnectionIsReported) {
    PageRunnerOptions o = options("plain.jsp");
    const testsupport::RefusingPort refusing;
    o.port = refusing.port();
    BackgroundRun run(o);
    EXPECT_EQ(run.join(), ExitCode::ConnectFailed);
    EXPECT_THAT(run.runner().errorMessage(),
                HasSubstr("cannot connect to the monitor on 127.0.0.1:"));
}

TEST_F(Executor, AMonitorThatStartsLateIsWaitedFor) {
    PageRunnerOptions o = options("plain.jsp");
    // The port is taken but refuses connections until the monitor listens.
    FakeMonitor late(0, false);
    o.port = late.port();
    o.connectWait = 60s;
    BackgroundRun run(o);
    // Refused twice: it keeps trying.
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (run.runner().connectAttempts() < 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(5ms); // polls a condition, bounded
    ASSERT_GE(run.runner().connectAttempts(), 2);
    late.listen();
    auto c = late.accept();
    ASSERT_TRUE(c);
    EXPECT_EQ(runToEnd(*c).back(), "%E");
    EXPECT_EQ(run.join(), ExitCode::Ok);
}

TEST_F(Executor, AMonitorThatHangsUpMidPageEndsTheRunWithAnError) {
    BackgroundRun run(options("plain.jsp"));
    auto c = monitor.accept();
    ASSERT_TRUE(c);
    EXPECT_RECORD(*c, "%F1&");
    c->reply("%N1&0");
    EXPECT_RECORD(*c, "%L1&");
    c->close();
    EXPECT_EQ(run.join(), ExitCode::ConnectionLost);
    EXPECT_THAT(run.runner().errorMessage(), HasSubstr("the monitor closed the connection"));
}

TEST_F(Executor, GarbageFromTheMonitorEndsTheRunWithAnError) {
    for (const std::string& garbage :
         {std::string("hello"), std::string("%N1&x"), std::string(70000, 'z')}) {
        BackgroundRun run(options("plain.jsp"));
        auto c = monitor.accept();
        ASSERT_TRUE(c);
        EXPECT_RECORD(*c, "%F1&");
        c->reply(garbage);
        EXPECT_EQ(run.join(), ExitCode::ConnectionLost) << garbage.substr(0, 10);
        EXPECT_TRUE(c->closedByPeer());
    }
}

TEST_F(Executor, StopEndsARunThatWaitsForTheMonitor) {
    BackgroundRun run(options("plain.jsp"));
    auto c = monitor.accept();
    ASSERT_TRUE(c);
    EXPECT_RECORD(*c, "%F1&");
    run.runner().stop();
    EXPECT_EQ(run.join(), ExitCode::Stopped);
    EXPECT_TRUE(c->closedByPeer());
}

} // namespace

// While the monitor's settings ask for variables, each line record comes after a variables
// record of the same stop, answered like any record; the page does not move for it.
TEST_F(Executor, VariablesComeBeforeEachLineWhileTheMonitorAsksForThem) {
    const std::string settings =
        work.write("jspdebug.properties", "port=8082\nSendVariables=true\n");
    const std::string page =
        work.write("vars.jsp", "<% int total = 2 * 3; %>\n"
                               "<% String who = request.getParameter(\"user\"); %>\n"
                               "<% for (int i = 1; i <= 3; i++) { %>\n"
                               "<%= i %>\n"
                               "<% total = total + i; } %>\n"
                               "<%= total %>\n");
    PageRunnerOptions o = options(page);
    o.params["user"] = "Ann & \"Bo\"";
    o.settingsFile = settings;
    BackgroundRun run(o);
    auto c = monitor.accept();
    ASSERT_TRUE(c);
    const std::vector<std::string> records = runToEnd(*c);

    // Each line record has the variables record of its stop just before it.
    std::vector<PageVariables::Parsed> stops;
    for (std::size_t k = 0; k < records.size(); ++k) {
        if (!records[k].starts_with("%L"))
            continue;
        ASSERT_GT(k, 0u);
        std::optional<PageVariables::Parsed> v = PageVariables::parse(records[k - 1]);
        ASSERT_TRUE(v) << records[k - 1];
        EXPECT_EQ(v->fileId, "1");
        stops.push_back(*v);
    }
    ASSERT_FALSE(stops.empty());
    auto valueAt = [](const PageVariables::Parsed& stop, const std::string& group,
                      const std::string& name) -> std::optional<std::string> {
        std::string current;
        for (const PageVariable& v : stop.entries) {
            if (v.group)
                current = v.name;
            else if (current == group && v.name == name)
                return v.value;
        }
        return std::nullopt;
    };
    // The loop variable, as each pass of the body shows it.
    std::vector<std::string> seen;
    for (const PageVariables::Parsed& stop : stops)
        if (std::optional<std::string> i = valueAt(stop, PageVariables::localsGroup, "i");
            i && (seen.empty() || seen.back() != *i))
            seen.push_back(*i);
    EXPECT_EQ(seen, (std::vector<std::string>{"1", "2", "3", "4"}));
    // Scriptlet locals and parameters, at the last stop.
    EXPECT_EQ(valueAt(stops.back(), PageVariables::localsGroup, "total"), "12");
    EXPECT_EQ(valueAt(stops.back(), PageVariables::localsGroup, "who"), "\"Ann & \\\"Bo\\\"\"");
    EXPECT_EQ(valueAt(stops.back(), PageVariables::parametersGroup, "user"),
              "\"Ann & \\\"Bo\\\"\"");
    EXPECT_EQ(run.join(), ExitCode::Ok);
}

TEST_F(Executor, NoVariablesCrossTheWireWhileTheMonitorDoesNotAskForThem) {
    for (const char* text : {"port=8082\nSendVariables=false\n", "port=8082\n"}) {
        const std::string settings = work.write("jspdebug.properties", text);
        PageRunnerOptions o = options("loop.jsp");
        o.settingsFile = settings;
        BackgroundRun run(o);
        auto c = monitor.accept();
        ASSERT_TRUE(c);
        for (const std::string& r : runToEnd(*c))
            EXPECT_FALSE(r.starts_with("%V")) << text;
        EXPECT_EQ(run.join(), ExitCode::Ok);
    }
}
