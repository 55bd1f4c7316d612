#include "core/pagelaunch.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

using tracewin::PageLaunchRequest;
using tracewin::PageLaunchSettings;
using tracewin::planPageLaunch;
using Kind = PageLaunchRequest::Kind;

namespace {

struct PlanCase {
    const char* name;
    PageLaunchRequest request;
    std::string program; // empty: refused
    std::vector<std::string> arguments;
};

TEST(PageLaunchTest, EachKindStartsTheRuntimeThatFitsAgainstTheMonitorsPort) {
    const PlanCase cases[] = {
        {"jsp file",
         {Kind::JspFile, " /p/loop.jsp ", "", "", "", {"user=Ann", "  "}},
         "pagerunner",
         {"--port", "8123", "--param", "user=Ann", "/p/loop.jsp"}},
        {"webapp page",
         {Kind::WebappPage, "/w/app/a.jsp", "/w/app", "", "", {}},
         "tomcatrunner",
         {"--port", "8123", "--webapp", "/w/app", "/w/app/a.jsp"}},
        {"webapp page in its own folder",
         {Kind::WebappPage, "/w/a.jsp", " ", "", "", {}},
         "tomcatrunner",
         {"--port", "8123", "/w/a.jsp"}},
        {"attach with a url",
         {Kind::AttachTomcat, "", "", "localhost:8000", "http://localhost:8080/x.jsp", {}},
         "tomcatrunner",
         {"--port", "8123", "--attach", "localhost:8000", "--url", "http://localhost:8080/x.jsp"}},
        {"attach without a url",
         {Kind::AttachTomcat, "", "", "localhost:8000", "", {}},
         "tomcatrunner",
         {"--port", "8123", "--attach", "localhost:8000"}},
        {"no jsp file", {Kind::JspFile, "  ", "", "", "", {}}, "", {}},
        {"no webapp page", {Kind::WebappPage, "", "/w", "", "", {}}, "", {}},
        {"no agent", {Kind::AttachTomcat, "/p/a.jsp", "", "", "http://x", {}}, "", {}},
    };
    for (const PlanCase& c : cases) {
        SCOPED_TRACE(c.name);
        const auto plan = planPageLaunch(c.request, 8123);
        if (c.program.empty()) {
            EXPECT_FALSE(plan.command);
            EXPECT_FALSE(plan.problem.empty());
            continue;
        }
        ASSERT_TRUE(plan.command);
        EXPECT_EQ(plan.command->program, c.program);
        EXPECT_EQ(plan.command->arguments, c.arguments);
    }
}

TEST(PageLaunchTest, TheLastRequestComesBackFromItsFile) {
    testsupport::TempDir dir;
    const PageLaunchSettings settings = PageLaunchSettings::inProgramDir(dir.str());
    // Nothing saved yet, or the folder missing: an empty JSP-file request.
    EXPECT_EQ(settings.load(), PageLaunchRequest{});

    std::filesystem::create_directories(dir.path() / "com/zet/kwo/jsp/ui");
    const PageLaunchRequest request{
        Kind::AttachTomcat,       "/p/a b.jsp",          "/w=x", "localhost:8000",
        "http://h/a.jsp?x=1&y=2", {"a=1", "b=two words"}};
    ASSERT_TRUE(settings.save(request));
    EXPECT_EQ(settings.load(), request);

    // A file with an unknown kind gives the JSP-file kind and keeps the rest.
    dir.write("com/zet/kwo/jsp/ui/openPage.properties", "Kind=Other\nPage=/p/x.jsp\n");
    EXPECT_EQ(settings.load(), (PageLaunchRequest{Kind::JspFile, "/p/x.jsp", "", "", "", {}}));
}

TEST(PageLaunchTest, AnUnwritableFileIsReportedNotThrown) {
    testsupport::TempDir dir;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(PageLaunchSettings(dir.str() + "/missing/folder/openPage.properties")
                     .save(PageLaunchRequest{}));
    EXPECT_NE(testing::internal::GetCapturedStdout().find("Cannot write"), std::string::npos);
}

} // namespace
