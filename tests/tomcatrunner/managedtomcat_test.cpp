// A private Tomcat started, serving a JSP page on loopback, open to a debugger on its own
// loopback port, and gone without a trace when stopped or when its owner dies.
#include "tomcatrunner/httpexchange.h"
#include "tomcatrunner/managedtomcat.h"
#include "tomcatrunner/tomcatbase.h"

#include "jdwp/debuggee.h"

#include <gtest/gtest.h>

#include "tempdir.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace tomcatrunner;

struct TempDir : tomcattest::TempDir {
    TempDir() : tomcattest::TempDir("tomcatrunner-test") {}
};

void writeFile(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
}

bool processExists(pid_t pid) {
    return ::kill(pid, 0) == 0;
}

TEST(TomcatBase, ServesOnlyLoopbackAndSetsJasperUpForDebugging) {
    const std::string server = TomcatBase::serverXml(8123);
    EXPECT_NE(server.find(R"(<Server port="-1")"), std::string::npos);
    EXPECT_NE(server.find(R"(address="127.0.0.1" port="8123")"), std::string::npos);
    EXPECT_NE(server.find(R"(autoDeploy="false")"), std::string::npos);

    const std::string web = TomcatBase::jasperWebXml(
        "<servlet><servlet-name>jsp</servlet-name>"
        "<servlet-class>org.apache.jasper.servlet.JspServlet</servlet-class></servlet>");
    for (const char* param : {"suppressSmap", "classdebuginfo", "mappedfile",
                              "modificationTestInterval", "recompileOnFail"}) {
        EXPECT_NE(web.find(std::string("<param-name>") + param + "</param-name>"),
                  std::string::npos)
            << param;
    }
    EXPECT_THROW(TomcatBase::jasperWebXml("<web-app/>"), std::runtime_error);
    EXPECT_EQ(TomcatBase::xmlAttribute("a&b\"<c>'"), "a&amp;b&quot;&lt;c&gt;&apos;");
}

TEST(ManagedTomcat, ServesAPageAndADebuggerThenLeavesNoProcess) {
    TempDir dir;
    writeFile(dir.path / "app" / "hello.jsp", "<% int n = 6 * 7; %><p>n=<%= n %></p>\n");
    ManagedTomcatOptions options;
    options.base = dir.path / "base";
    options.webapp = dir.path / "app";
    auto tomcat = ManagedTomcat::start(options);
    const pid_t pid = tomcat->pid();
    ASSERT_TRUE(processExists(pid));

    HttpExchange page("127.0.0.1", tomcat->httpPort(), "/hello.jsp", 5s);
    page.finish(60s);
    EXPECT_EQ(page.status(), 200) << page.body();
    EXPECT_NE(page.body().find("<p>n=42</p>"), std::string::npos) << page.body();

    // The agent is on loopback and gives what a JSP debugger needs.
    auto vm = jdwp::Debuggee::attach("127.0.0.1", tomcat->jdwpPort());
    EXPECT_TRUE(vm->capabilities().canGetSourceDebugExtension);
    const auto page_classes = vm->vm.classesBySignature("Lorg/apache/jsp/hello_jsp;");
    ASSERT_EQ(page_classes.size(), 1u);
    EXPECT_NE(vm->referenceType.sourceDebugExtension(page_classes[0].typeId).find("hello.jsp"),
              std::string::npos);
    vm->vm.dispose();
    vm.reset();

    tomcat->stop();
    EXPECT_FALSE(processExists(pid));
    EXPECT_FALSE(tomcat->running());
}

TEST(ManagedTomcat, TheServerEndsWithTheProcessThatStartedIt) {
    TempDir dir;
    writeFile(dir.path / "app" / "index.jsp", "ok\n");
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t owner = ::fork();
    ASSERT_GE(owner, 0);
    if (owner == 0) {
        ::close(pipeFds[0]);
        ManagedTomcatOptions options;
        options.base = dir.path / "base";
        options.webapp = dir.path / "app";
        try {
            auto tomcat = ManagedTomcat::start(options);
            const pid_t jvm = tomcat->pid();
            (void)!::write(pipeFds[1], &jvm, sizeof jvm);
            ::pause();
        } catch (...) {
        }
        ::_exit(1);
    }
    ::close(pipeFds[1]);
    pid_t jvm = 0;
    ASSERT_EQ(::read(pipeFds[0], &jvm, sizeof jvm), static_cast<ssize_t>(sizeof jvm));
    ::close(pipeFds[0]);
    ASSERT_TRUE(processExists(jvm));

    // The owner is killed outright: it cannot stop the server itself.
    ::kill(owner, SIGKILL);
    ::waitpid(owner, nullptr, 0);
    bool gone = false;
    for (int i = 0; i < 600 && !gone; ++i) {
        gone = !processExists(jvm) || [&] {
            std::ifstream stat("/proc/" + std::to_string(jvm) + "/stat");
            std::string text((std::istreambuf_iterator<char>(stat)), {});
            const auto close = text.rfind(')');
            return close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'Z';
        }();
        if (!gone) {
            ::usleep(50'000);
        }
    }
    EXPECT_TRUE(gone) << "the JVM " << jvm << " outlived its owner";
}

} // namespace
