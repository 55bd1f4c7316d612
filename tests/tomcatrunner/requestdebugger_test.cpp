// Requests debugged in a real Tomcat against a stand-in monitor: every example page stepped
// to its end with the whole response shown, included and forwarded pages, an exception,
// the monitor's replies obeyed, and a monitor that leaves mid-page.
#include "debuggedtomcat.h"
#include "tempdir.h"
#include "tomcatrunner/httpexchange.h"
#include "tomcatrunner/waitingrequests.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <thread>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace tomcatrunner;
using tomcattest::DebuggedTomcat;
using tomcattest::jspLines;
using tomcattest::ScriptedMonitor;
using tomcattest::TempDir;
using ::testing::HasSubstr;
using ::testing::StartsWith;

class RequestDebuggerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = std::make_unique<TempDir>("tomcatrunner-e2e");
        tomcat_ = DebuggedTomcat::servingCopiesOf({TRACEWIN_EXAMPLES, TOMCATRUNNER_TEST_PAGES},
                                                  dir_->path);
    }
    static void TearDownTestSuite() {
        tomcat_.reset();
        dir_.reset();
    }

    static RequestResult debug(const std::string& target, ScriptedMonitor& monitor) {
        return tomcat_->debug(target, monitor);
    }
    static std::string plainBody(const std::string& target,
                                 std::chrono::milliseconds within = 60s) {
        return tomcat_->plainBody(target, within);
    }
    static std::string page(const std::string& name) { return (tomcat_->webapp() / name).string(); }

    // A user's request from elsewhere, sent again until a debugger catches it: one sent
    // before the debugger is ready runs unobserved.
    static std::thread sendUntilDebugged(const std::string& target, const ScriptedMonitor& monitor) {
        return std::thread([target, &monitor] {
            const auto deadline = std::chrono::steady_clock::now() + 60s;
            while (monitor.records().empty() && std::chrono::steady_clock::now() < deadline) {
                plainBody(target);
            }
        });
    }
    void SetUp() override { ASSERT_NE(tomcat_, nullptr) << "the server did not start"; }

    static inline std::unique_ptr<TempDir> dir_;
    static inline std::unique_ptr<DebuggedTomcat> tomcat_;
};

// loop.jsp prints the time: the text without it.
std::string withoutDate(std::string html) {
    const std::string label = "Today is ";
    if (const auto at = html.find(label); at != std::string::npos) {
        const auto end = html.find('<', at);
        html.erase(at + label.size(), end == std::string::npos ? end : end - at - label.size());
    }
    return html;
}

TEST_F(RequestDebuggerTest, EveryPageStepsToItsEndShowingTheWholeResponseBody) {
    for (const std::string name : {"plain.jsp", "loop.jsp?user=Ann", "header.jsp", "flush.jsp",
                                    "smallbuffer.jsp", "bigwrite.jsp", "unbuffered.jsp",
                                    "utf8.jsp"}) {
        SCOPED_TRACE(name);
        ScriptedMonitor monitor;
        const RequestResult result = debug("/" + name, monitor);
        EXPECT_EQ(result.kind, RequestResult::Kind::Ended) << result.message;
        EXPECT_EQ(result.httpStatus, 200);
        const auto records = monitor.recordsOf(0);
        ASSERT_FALSE(records.empty());
        const std::string file = page(name.substr(0, name.find('?')));
        EXPECT_THAT(records.front(), StartsWith("%F1&" + file + "&"));
        EXPECT_EQ(records.back(), "%E");
        EXPECT_FALSE(jspLines(records).empty());
        // The output shown, joined, is the response body byte for byte.
        EXPECT_EQ(monitor.html(), result.body);
        std::string plain = plainBody("/" + name);
        std::string shown = monitor.html();
        if (name.starts_with("loop.jsp")) {
            plain = withoutDate(plain);
            shown = withoutDate(shown);
        }
        EXPECT_EQ(shown, plain);
    }
}

TEST_F(RequestDebuggerTest, LinesComeInTheOrderThePageRunsThemWithTheirSpans) {
    ScriptedMonitor monitor;
    debug("/loop.jsp?user=Ann", monitor);
    const auto records = monitor.recordsOf(0);
    // The loop's header and body run three times, then the rest of the page.
    const std::vector<int> lines = jspLines(records);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), 8), 3 * 5) << ::testing::PrintToString(lines);
    EXPECT_EQ(lines.back(), 13);
    // The expression <%= i * i %> on line 8 is a span of its own: columns 27 to 39.
    EXPECT_THAT(records, ::testing::Contains(::testing::MatchesRegex("%L1&[0-9]+&8&27&8&39")));
    EXPECT_THAT(monitor.html(), HasSubstr("<li>3 squared is 9</li>"));
}

TEST_F(RequestDebuggerTest, AnIncludedPageRunsAsAFileOfItsOwnThenTheIncluderGoesOn) {
    ScriptedMonitor monitor;
    const RequestResult result = debug("/include.jsp", monitor);
    EXPECT_EQ(result.kind, RequestResult::Kind::Ended);
    const auto outer = monitor.recordsOf(0);
    const auto inner = monitor.recordsOf(1);
    ASSERT_FALSE(inner.empty());
    EXPECT_THAT(inner.front(), StartsWith("%F2&" + page("header.jsp") + "&"));
    EXPECT_EQ(inner.back(), "%E");
    // Back in the including page, it says where it stands, then goes on to its end.
    const auto back = std::find_if(outer.begin(), outer.end(),
                                   [](const std::string& r) { return r.starts_with("%S1&"); });
    ASSERT_NE(back, outer.end());
    EXPECT_THAT(*back, ::testing::MatchesRegex("%S1&[0-9]+&4&.*"));
    EXPECT_EQ(outer.back(), "%E");
    EXPECT_EQ(monitor.html(), plainBody("/include.jsp"));
}

TEST_F(RequestDebuggerTest, AnExceptionEndsThePageWhereItWasThrown) {
    ScriptedMonitor monitor;
    const RequestResult result = debug("/throws.jsp", monitor);
    EXPECT_EQ(result.kind, RequestResult::Kind::Abnormal);
    const auto records = monitor.recordsOf(0);
    ASSERT_FALSE(records.empty());
    EXPECT_THAT(records.back(),
                ::testing::MatchesRegex("%A1&[0-9]+&6&5&6&76&java.lang.IllegalStateException: "
                                        "The basket is empty"));
    EXPECT_THAT(monitor.html(), HasSubstr("Before the failure"));
    EXPECT_THAT(monitor.html(), ::testing::Not(HasSubstr("Never written")));
    EXPECT_EQ(result.httpStatus, 500);
}

TEST_F(RequestDebuggerTest, BreakpointAndSwitchRepliesDoNotMoveThePage) {
    int lineRecords = 0;
    ScriptedMonitor monitor([&](const ScriptedMonitor::Record& r) -> std::optional<std::string> {
        if (r.text.starts_with("%L") && ++lineRecords == 2) {
            return "%B1&7&1";
        }
        if (r.text == "%N") {
            return "%S1"; // after the breakpoint's continue record: where is the page?
        }
        return ScriptedMonitor::continueAll(r);
    });
    debug("/loop.jsp?user=Ann", monitor);
    const auto records = monitor.recordsOf(0);
    const auto second = std::find_if(records.begin(), records.end(), [n = 0](const std::string& r) mutable {
        return r.starts_with("%L") && ++n == 2;
    });
    ASSERT_NE(second, records.end());
    ASSERT_GE(records.end() - second, 3);
    EXPECT_EQ(*(second + 1), "%N");
    // The position is the one of the second line record: "%S1&" and the same body.
    EXPECT_EQ(*(second + 2), "%S" + second->substr(2));
    EXPECT_EQ(records.back(), "%E");
}

TEST_F(RequestDebuggerTest, TerminateLetsTheRequestRunOnUnobserved) {
    int lineRecords = 0;
    ScriptedMonitor monitor([&](const ScriptedMonitor::Record& r) -> std::optional<std::string> {
        if (r.text.starts_with("%L") && ++lineRecords == 3) {
            return "%T";
        }
        return ScriptedMonitor::continueAll(r);
    });
    const RequestResult result = debug("/loop.jsp?user=Ann", monitor);
    EXPECT_EQ(result.kind, RequestResult::Kind::MonitorClosed);
    EXPECT_EQ(result.httpStatus, 200);
    EXPECT_THAT(result.body, HasSubstr("</html>"));
    EXPECT_EQ(lineRecords, 3);
}

TEST_F(RequestDebuggerTest, AMonitorThatGoesAwayLeavesTheServerServing) {
    int lineRecords = 0;
    ScriptedMonitor monitor([&](const ScriptedMonitor::Record& r) -> std::optional<std::string> {
        if (r.text.starts_with("%L") && ++lineRecords == 2) {
            return std::string(); // the monitor dies: its connection closes
        }
        return ScriptedMonitor::continueAll(r);
    });
    const RequestResult result = debug("/loop.jsp?user=Ann", monitor);
    EXPECT_EQ(result.kind, RequestResult::Kind::MonitorLost);
    EXPECT_THAT(result.body, HasSubstr("</html>"));
    // No thread stays suspended: the next request is served at once.
    EXPECT_THAT(plainBody("/plain.jsp", 2s), HasSubstr("Plain page"));
}

TEST_F(RequestDebuggerTest, AForwardShowsOnlyWhatReachesTheResponse) {
    ScriptedMonitor monitor;
    const RequestResult result = debug("/forward.jsp", monitor);
    EXPECT_EQ(result.kind, RequestResult::Kind::Ended) << result.message;
    EXPECT_EQ(monitor.html(), result.body);
    EXPECT_THAT(result.body, HasSubstr("forwarded here"));
    EXPECT_THAT(monitor.html(), ::testing::Not(HasSubstr("discarded")));
    // The page forwarded to shows its output as it runs, not only once it is sent.
    EXPECT_THAT(monitor.recordsOf(1), ::testing::Contains(StartsWith("%H")));
}

TEST_F(RequestDebuggerTest, APageThatFailsRunsOnIntoItsErrorPage) {
    ScriptedMonitor monitor;
    const RequestResult result = debug("/fails.jsp?fail=1", monitor);
    EXPECT_EQ(result.kind, RequestResult::Kind::Ended) << result.message;
    EXPECT_EQ(result.httpStatus, 500);
    const auto failing = monitor.recordsOf(0);
    const auto errorPage = monitor.recordsOf(1);
    ASSERT_FALSE(failing.empty());
    ASSERT_FALSE(errorPage.empty());
    // The line that threw is the last the failing page reports; no abnormal end, as the
    // page handles its exception itself.
    EXPECT_EQ(jspLines(failing).back(), 3);
    EXPECT_THAT(failing, ::testing::Not(::testing::Contains(StartsWith("%A"))));
    EXPECT_THAT(errorPage.front(), StartsWith("%F2&" + page("failed.jsp") + "&"));
    EXPECT_EQ(errorPage.back(), "%E");
    EXPECT_THAT(errorPage, ::testing::Contains(StartsWith("%H")))
        << "the error page's output shows while it runs";
    EXPECT_EQ(failing.back(), "%E");
    EXPECT_EQ(monitor.html(), result.body);
    EXPECT_THAT(monitor.html(), HasSubstr("The error page shows: asked to fail"));
    EXPECT_THAT(monitor.html(), ::testing::Not(HasSubstr("discarded")));

    // Without the exception, the same page shows its own output.
    ScriptedMonitor fine;
    EXPECT_EQ(debug("/fails.jsp", fine).kind, RequestResult::Kind::Ended);
    EXPECT_THAT(fine.html(), HasSubstr("the page did not fail"));
    EXPECT_TRUE(fine.recordsOf(1).empty());
}

TEST_F(RequestDebuggerTest, APreludeAndACodaRunInTheirOwnFilesAroundThePage) {
    ScriptedMonitor monitor;
    const RequestResult result = debug("/framed/page.jsp", monitor);
    EXPECT_EQ(result.kind, RequestResult::Kind::Ended) << result.message;
    // The requested page is the first file even though its prelude runs first.
    const auto pageRecords = monitor.recordsOf(0);
    const auto prelude = monitor.recordsOf(1);
    const auto coda = monitor.recordsOf(2);
    ASSERT_FALSE(pageRecords.empty());
    ASSERT_FALSE(prelude.empty());
    ASSERT_FALSE(coda.empty());
    EXPECT_THAT(pageRecords.front(), StartsWith("%F1&" + page("framed/page.jsp") + "&"));
    EXPECT_THAT(prelude.front(), StartsWith("%F2&" + page("framed/top.jspf") + "&"));
    EXPECT_THAT(coda.front(), StartsWith("%F3&" + page("framed/bottom.jspf") + "&"));
    // Each file's lines are its own: the prelude's two, the page's loop, the coda's two.
    EXPECT_THAT(jspLines(prelude), ::testing::Each(::testing::AllOf(::testing::Ge(1), ::testing::Le(2))));
    EXPECT_THAT(jspLines(coda), ::testing::Each(::testing::AllOf(::testing::Ge(1), ::testing::Le(2))));
    const auto lines = jspLines(pageRecords);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), 3), 2 * 3) << ::testing::PrintToString(lines);
    // The prelude's records all come before the page's first line, the coda's after its last.
    const auto all = monitor.records();
    const auto firstOf = [&](int connection, const char* kind) {
        return std::find_if(all.begin(), all.end(), [&](const ScriptedMonitor::Record& r) {
            return r.connection == connection && r.text.starts_with(kind);
        });
    };
    EXPECT_LT(firstOf(1, "%L"), firstOf(0, "%L"));
    EXPECT_LT(firstOf(0, "%L"), firstOf(2, "%L"));
    EXPECT_EQ(monitor.html(), plainBody("/framed/page.jsp"));
    EXPECT_THAT(monitor.html(), HasSubstr("<p>The end of Framed</p>"));
}

// Another user's request, sent while the debugged one waits at its first line.
class OtherUser {
public:
    explicit OtherUser(int httpPort) : port_(httpPort) {}
    void send(const std::string& target) {
        const std::lock_guard lock(mutex_);
        exchange_ = std::make_unique<HttpExchange>("127.0.0.1", port_, target, 5s);
    }
    std::string body(std::chrono::milliseconds within = 60s) {
        const std::lock_guard lock(mutex_);
        if (!exchange_) {
            return "(never sent)";
        }
        exchange_->finish(within);
        return exchange_->body();
    }

private:
    int port_;
    std::mutex mutex_;
    std::unique_ptr<HttpExchange> exchange_;
};

TEST_F(RequestDebuggerTest, AnotherRequestRunsOnWhileTheDebuggedOneWaits) {
    OtherUser bob(tomcat_->httpPort());
    std::string bobsPage;
    int lineRecords = 0;
    ScriptedMonitor monitor([&](const ScriptedMonitor::Record& r) -> std::optional<std::string> {
        if (r.text.starts_with("%L") && ++lineRecords == 1) {
            // Ann's request stands at its first line: Bob's is served meanwhile.
            bob.send("/loop.jsp?user=Bob");
            bobsPage = bob.body();
        }
        return ScriptedMonitor::continueAll(r);
    });
    std::thread ann = sendUntilDebugged("/loop.jsp?user=Ann", monitor);
    const RequestResult result = tomcat_->debugFromElsewhere(monitor, nullptr);
    ann.join();
    EXPECT_EQ(result.kind, RequestResult::Kind::Ended) << result.message;
    EXPECT_THAT(bobsPage, HasSubstr("Squares for Bob"));
    EXPECT_THAT(monitor.html(), HasSubstr("Squares for Ann"));
    EXPECT_THAT(monitor.html(), ::testing::Not(HasSubstr("Bob")));
    EXPECT_TRUE(monitor.recordsOf(1).empty()) << "Bob's request was not debugged";
}

TEST_F(RequestDebuggerTest, WithAllARequestThatArrivesMeanwhileWaitsForItsTurn) {
    WaitingRequests waiting;
    OtherUser bob(tomcat_->httpPort());
    int lineRecords = 0;
    ScriptedMonitor first([&](const ScriptedMonitor::Record& r) -> std::optional<std::string> {
        if (r.text.starts_with("%L") && ++lineRecords == 1) {
            bob.send("/loop.jsp?user=Bob");
            const auto deadline = std::chrono::steady_clock::now() + 60s;
            while (waiting.size() == 0 && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(10ms); // polls a condition, bounded
            }
        }
        return ScriptedMonitor::continueAll(r);
    });
    std::thread ann = sendUntilDebugged("/loop.jsp?user=Ann", first);
    const RequestResult annResult = tomcat_->debugFromElsewhere(first, &waiting);
    ann.join();
    EXPECT_EQ(annResult.kind, RequestResult::Kind::Ended) << annResult.message;
    EXPECT_THAT(first.html(), HasSubstr("Squares for Ann"));
    ASSERT_EQ(waiting.size(), 1u) << "Bob's request waits at its page's first line";

    // Its turn: it is debugged from that first line to its end, as a page of its own.
    ScriptedMonitor second;
    const RequestResult bobResult = tomcat_->debugFromElsewhere(second, &waiting);
    EXPECT_EQ(bobResult.kind, RequestResult::Kind::Ended) << bobResult.message;
    EXPECT_EQ(bobResult.page, page("loop.jsp"));
    EXPECT_EQ(waiting.size(), 0u);
    const auto records = second.recordsOf(0);
    ASSERT_FALSE(records.empty());
    EXPECT_THAT(records.front(), StartsWith("%F1&" + page("loop.jsp") + "&"));
    EXPECT_EQ(jspLines(records), jspLines(first.recordsOf(0)));
    EXPECT_EQ(records.back(), "%E");
    const std::string bobsPage = bob.body();
    EXPECT_THAT(bobsPage, HasSubstr("Squares for Bob"));
    EXPECT_EQ(withoutDate(second.html()), withoutDate(bobsPage));
}

} // namespace
