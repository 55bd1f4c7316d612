#include "support/tempdir.h"
#include "tracehook/classpath.h"
#include "tracehook/compileerrorcodes.h"
#include "tracehook/debugconstants.h"
#include "tracehook/jspdebugdynamicpathfactory.h"
#include "tracehook/jspmonitorresource.h"
#include "tracehook/jspresource.h"
#include "tracehook/jspsourceinfo.h"
#include "tracehook/messagehandler.h"
#include "tracehook/resourcebundle.h"
#include "tracehook/systemproperties.h"
#include "tracehook/tracer.h"

#include <gtest/gtest.h>
#include <thread>

using namespace tracehook;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

// A test-environment root with the runtime home, the label bundles and optional markers.
class ServicesTest : public ::testing::Test {
protected:
    void SetUp() override {
        SystemProperties::reset();
        DebugConstants::lookAgain();
        ResourceBundle::setDefaultLocale(std::string("de_CH"));
        std::filesystem::create_directories(root.path() / "jspvlm/nqc/bin");
        SystemProperties::set("java.home", root.str() + "/jspvlm/nqc/bin");
        SystemProperties::set("os.name", "Linux");
        ClassPath::setDirectories({root.str()});
    }
    void TearDown() override {
        SystemProperties::reset();
        DebugConstants::lookAgain();
        ResourceBundle::setDefaultLocale(std::nullopt);
        ClassPath::setDirectories({});
    }
    void writeBundle(const std::string& file, const std::string& text) const {
        root.write("com/zet/kwo/jsp/debugger/" + file, text);
    }

    testsupport::TempDir root;
};

TEST_F(ServicesTest, RootComesFromTheRuntimeHome) {
    EXPECT_EQ(JspDebugDynamicPathFactory::getHarbeckFullPath(), root.str());
    SystemProperties::set("java.home", root.str() + "/jspvlm/nqc/bin/");
    EXPECT_EQ(JspDebugDynamicPathFactory::getHarbeckFullPath(), root.str());
    EXPECT_EQ(JspDebugDynamicPathFactory::getMonitorInstallPath(),
              root.str() + "/jspvlm/tools/com-zet-kwo-ui-jspdebug");
}

TEST_F(ServicesTest, RuntimeHomeOutsideTheLayoutGivesNoRoot) {
    SystemProperties::set("java.home", "/usr/lib/somewhere/bin");
    EXPECT_EQ(JspDebugDynamicPathFactory::getHarbeckFullPath(), std::nullopt);
    SystemProperties::set("java.home", "/opt/ZET Harbeck Test Environment/other/bin");
    EXPECT_EQ(JspDebugDynamicPathFactory::getHarbeckFullPath(),
              "/opt/ZET Harbeck Test Environment");
}

TEST_F(ServicesTest, ServerRootNamesTheRootThroughItsLookupFile) {
    testsupport::TempDir server;
    SystemProperties::set("server.root", server.str());
    CaptureStdout();
    EXPECT_EQ(JspDebugDynamicPathFactory::getHarbeckFullPath(), std::nullopt);
    EXPECT_EQ(GetCapturedStdout(),
              "Error: Cannot open the file: " + server.str() + "/jspvlmPath.properties\n");

    server.write("jspvlmPath.properties", "other=1\n");
    CaptureStdout();
    EXPECT_EQ(JspDebugDynamicPathFactory::getHarbeckFullPath(), std::nullopt);
    EXPECT_EQ(GetCapturedStdout(), "Error: The variable harbeckFullPath is not set.\n");

    server.write("jspvlmPath.properties", "JSPVLMFullPath=/env/root/\n");
    EXPECT_EQ(JspDebugDynamicPathFactory::getHarbeckFullPath(), "/env/root");
}

TEST_F(ServicesTest, ServerRootIsCutAfterTheEnvironmentNameWhenTheLookupFileIsSkipped) {
    SystemProperties::set("server.root", "/x/ZET Harbeck Test Environment/server/a");
    SystemProperties::set("kwo.version", "5");
    EXPECT_EQ(JspDebugDynamicPathFactory::getHarbeckFullPath(), "/x/ZET Harbeck Test Environment");
    SystemProperties::clear("kwo.version");
    SystemProperties::set("os.name", "SunOS");
    SystemProperties::set("server.root", "/x/ZETHarbeckTestEnvironment/server");
    EXPECT_EQ(JspDebugDynamicPathFactory::getHarbeckFullPath(), "/x/ZETHarbeckTestEnvironment");
    SystemProperties::set("server.root", "/x/elsewhere");
    EXPECT_EQ(JspDebugDynamicPathFactory::getHarbeckFullPath(), std::nullopt);
}

TEST_F(ServicesTest, MonitorPathFileOverridesTheDerivedInstallPath) {
    testsupport::TempDir server;
    server.write("jspvlmPath.properties", "JSPVLMFullPath=" + root.str() + "\n");
    server.write("monitorPath.properties", "MonitorFullPath=/opt/monitor\n");
    SystemProperties::set("server.root", server.str());
    EXPECT_EQ(JspDebugDynamicPathFactory::getMonitorInstallPath(), "/opt/monitor");
}

TEST_F(ServicesTest, ClassPathsListTheirEntriesInOrder) {
    std::string cp = JspDebugDynamicPathFactory::getNQCMonitorClasspath().value();
    const std::string r = root.str();
    EXPECT_EQ(cp, "\"" + r + "/jspvlm/tracewin.nql:" + r + "/jspvlm/tracehook.nql:" + r +
                      "/jspvlm/nqc/lib/uikitlib.nql:" + r + "/jspvlm/nqc/lib/jsp_panekit.nql:" + r +
                      "/com/zet/kwo/jsp/ui:" + r + "/jspvlm/nqc/lib/swingall.jar:" + r +
                      "/jspvlm/nqc/lib/rtpanekit.jar\"");
    EXPECT_NE(JspDebugDynamicPathFactory::getMonitorClasspath().value().find("panekit.jar"),
              std::string::npos);
}

TEST_F(ServicesTest, TraceIsDecidedOnceByTheMarkerFile) {
    EXPECT_FALSE(DebugConstants::getTrace());
    root.write("com/zet/kwo/jsp/debugger/debug.trace", "");
    EXPECT_FALSE(DebugConstants::getTrace()) << "the answer is kept for the life of the process";
    DebugConstants::lookAgain();
    EXPECT_TRUE(DebugConstants::getTrace());
    EXPECT_FALSE(DebugConstants::getDump());
}

TEST_F(ServicesTest, TracerWritesClassMethodAndMessage) {
    root.write("com/zet/kwo/jsp/debugger/debug.trace", "");
    JspSourceInfo info;
    CaptureStdout();
    Tracer::trace(&info, "read", "\tReceived string: x");
    Tracer::trace(typeid(JspSourceInfo), "", "no method");
    Tracer::dump(&info, "read", "dump is off");
    EXPECT_EQ(GetCapturedStdout(), "tracehook::JspSourceInfo.read: \tReceived string: x\n"
                                   "tracehook::JspSourceInfo: no method\n");
}

TEST_F(ServicesTest, TracerIsSilentWithoutMarkers) {
    CaptureStdout();
    Tracer::trace("Monitor", "main", "hidden");
    Tracer::dump("Monitor", "main", "hidden");
    EXPECT_EQ(GetCapturedStdout(), "");
}

TEST_F(ServicesTest, LabelsFallBackFromTheLocaleToTheBaseBundle) {
    writeBundle("JspToolLabel.properties",
                "L-OK=OK\nL-Error=Error\nL-JSPSyntaxError=JSP syntax error:\n");
    writeBundle("JspToolLabel_de.properties", "L-Error=Fehler\n");
    writeBundle("JspToolLabel_de_CH.properties", "L-OK=Guet\n");
    EXPECT_EQ(JspResource::getToolString("L-OK"), "Guet");
    EXPECT_EQ(JspResource::getToolString("L-Error"), "Fehler");
    EXPECT_EQ(JspResource::getToolString("L-JSPSyntaxError"), "JSP syntax error:");
    ResourceBundle::setDefaultLocale(std::string("fr"));
    EXPECT_EQ(JspResource::getToolString("L-Error"), "Error");
}

TEST_F(ServicesTest, MissingLabelIsABlankAndOneMessagePerLookup) {
    writeBundle("JspExeLabel.properties", "L-OK=OK\n");
    CaptureStdout();
    EXPECT_EQ(JspResource::getToolString("L-Nope"), " ");
    EXPECT_EQ(JspResource::getJSPString("L-Gone"), " ");
    EXPECT_EQ(GetCapturedStdout(), "Cannot find the resource: L-Nope\n\tfrom the resource file: "
                                   "com.zet.kwo.jsp.debugger.JspToolLabel\n"
                                   "Cannot find the resource: L-Gone\n\tfrom the resource file: "
                                   "com.zet.kwo.jsp.debugger.JspExeLabel\n");
}

TEST_F(ServicesTest, LabelsFromFilesBelowTheRootOrTheWorkingDirectory) {
    writeBundle("JspExeLabel.properties", "L-OK=Root OK\n");
    testsupport::TempDir cwd;
    cwd.write("com/zet/kwo/jsp/debugger/JspExeLabel_de.properties", "L-OK=Hier OK\n");
    SystemProperties::set("user.dir", cwd.str());
    EXPECT_EQ(JspResource::getJSPString("L-OK", true), "Root OK");
    EXPECT_EQ(JspResource::getJSPString("L-OK", false), "Hier OK");

    CaptureStdout();
    EXPECT_EQ(JspResource::getToolString("L-OK", true), " ");
    EXPECT_EQ(JspResource::getJSPString("L-None", true), " ");
    const std::string dir = root.str() + "/com/zet/kwo/jsp/debugger/";
    EXPECT_EQ(GetCapturedStdout(),
              "Cannot open the resource file: " + dir + "JspToolLabel.properties\n" +
                  "Cannot find the resource: L-None\n\tfrom the resource file: " + dir +
                  "JspExeLabel.properties\n");
}

TEST_F(ServicesTest, MonitorResourceLoadsItsBundlesOnce) {
    writeBundle("JspToolLabel.properties", "L-OK=First\n");
    JspMonitorResource resource;
    writeBundle("JspToolLabel.properties", "L-OK=Second\n");
    EXPECT_EQ(resource.getToolString("L-OK"), "First");
    CaptureStdout();
    EXPECT_EQ(resource.getJSPString("L-OK"), " ");
    EXPECT_NE(GetCapturedStdout().find("JspExeLabel"), std::string::npos);
}

TEST_F(ServicesTest, ErrorDialogsGoThroughThePresenter) {
    writeBundle("JspToolLabel.properties", "L-OK=OK\nL-Error=Error\n");
    writeBundle("JspExeLabel.properties", "L-OK=Fine\nL-Error=Problem\n");
    std::vector<MessageHandler::Dialog> shown;
    MessageHandler::setPresenter([&](const MessageHandler::Dialog& d) { shown.push_back(d); });
    MessageHandler::showToolError("E-PORT_NUM_CONFLICT");
    MessageHandler::showJSPError("page failed");
    MessageHandler::setPresenter({});
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].title, "Error");
    EXPECT_EQ(shown[0].message, "E-PORT_NUM_CONFLICT");
    EXPECT_EQ(shown[0].buttonLabel, "OK");
    EXPECT_EQ(shown[1].title, "Problem");
    EXPECT_EQ(shown[1].buttonLabel, "Fine");

    testing::internal::CaptureStderr();
    MessageHandler::showToolError("to the console");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: to the console\n");
}

TEST_F(ServicesTest, CompileErrorTextCarriesItsLabel) {
    writeBundle("JspToolLabel.properties",
                "L-JSPSyntaxError=JSP syntax error:\nL-JavaSyntaxError=Java error:\n");
    JspSourceInfo jsp("1", CompileErrorCodes::JSP_ERR, 1, 0, 2, 3, 2, 4, "unterminated tag\r", 12);
    JspSourceInfo java("1", CompileErrorCodes::JAVA_ERR, 1, 0, 2, 3, 2, 4, "';' expected", 13);
    EXPECT_EQ(jsp.getDisplayErrMsg(), "JSP syntax error: unterminated tag");
    EXPECT_EQ(java.getDisplayErrMsg(), "Java error: ';' expected");
}

TEST_F(ServicesTest, SystemPropertiesAreSafeToUseFromManyThreads) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 2000; ++i) {
                SystemProperties::set("key" + std::to_string(t), std::to_string(i));
                (void)SystemProperties::get("key" + std::to_string((t + 1) % 4));
                (void)DebugConstants::getTrace();
            }
        });
    }
    for (std::thread& th : threads)
        th.join();
    EXPECT_EQ(SystemProperties::get("key0"), "1999");
}

TEST(SystemPropertiesFromProcess, KnowsTheHomeWorkingDirectoryAndPlatform) {
    SystemProperties::reset();
    SystemProperties::initFromProcess();
    EXPECT_FALSE(SystemProperties::value("user.home").empty());
    EXPECT_EQ(SystemProperties::value("user.dir"), std::filesystem::current_path().string());
    EXPECT_EQ(SystemProperties::value("os.name"), "Linux");
    EXPECT_EQ(SystemProperties::value("java.home"), SystemProperties::programDirectory());
    SystemProperties::reset();
}

TEST(ResourceBundleLocale, SuffixesRunFromSpecificToBase) {
    EXPECT_EQ(ResourceBundle::candidateSuffixes("de_CH_x"),
              (std::vector<std::string>{"_de_CH_x", "_de_CH", "_de", ""}));
    EXPECT_EQ(ResourceBundle::candidateSuffixes(""), std::vector<std::string>{""});
}

} // namespace
