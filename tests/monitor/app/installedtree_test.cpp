// The staged install tree runs as it is: the monitor program starts from it, shows its
// window and listens on the port of that tree's debug settings file; started through a link,
// as a package installs it, it keeps its settings in the user's folder.
#include "support/tempdir.h"
#include "tracewin/version.h"

#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

quint16 freePort() {
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

void stop(QProcess& process) {
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

TEST(InstalledTree, TheMonitorStartsFromItAndListensOnItsPort) {
    testsupport::TempDir dir;
    const std::filesystem::path root = dir.path() / "env";
    std::filesystem::copy(TRACEWIN_STAGE, root, std::filesystem::copy_options::recursive);
    const std::filesystem::path program = root / "jspvlm/tools/com-zet-kwo-ui-jspdebug";
    std::filesystem::remove(program / "monitor.out");

    const quint16 port = freePort();
    ASSERT_NE(port, 0);
    dir.write("env/jspvlm/tools/com-zet-kwo-ui-jspdebug/jspdebug.properties",
              "port=" + std::to_string(port) +
                  "\nDebugModeOn=false\nRetrieveSyntaxErr=true\nSkipRunAnimation=false\n");

    QProcess monitor;
    monitor.setProgram(QString::fromStdString((root / "jspvlm/nqc/bin/tracewin").string()));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    monitor.setProcessEnvironment(env);
    monitor.start();
    ASSERT_TRUE(monitor.waitForStarted(5000));

    // The port is named before the socket opens; "Accept on the socket" follows once it
    // listens.
    const std::string expected = "The connect port is: " + std::to_string(port);
    const std::string log = (program / "monitor.out").string();
    const auto listening = [&] {
        const std::string text = testsupport::readFile(log);
        const std::size_t named = text.find(expected);
        return named != std::string::npos &&
               text.find("Accept on the socket", named) != std::string::npos;
    };
    EXPECT_TRUE(QTest::qWaitFor(listening, 10000)) << testsupport::readFile(log);
    QTcpSocket page;
    page.connectToHost(QHostAddress::LocalHost, port);
    EXPECT_TRUE(page.waitForConnected(5000));
    page.write("%F1& & %%%END%%%");
    page.flush();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return page.state() == QAbstractSocket::UnconnectedState || page.waitForReadyRead(20);
        },
        5000));

    stop(monitor);
}

// What a package installs: links to the programs elsewhere (/usr/bin), and settings in each
// user's folder. The monitor started through its link finds its tree and listens on the
// port of the user's copy of the installed settings; its log goes there too, and the tree
// stays as installed.
TEST(InstalledTree, StartedThroughALinkTheMonitorUsesTheUsersCopyOfTheSettings) {
    testsupport::TempDir dir;
    const std::filesystem::path root = dir.path() / "opt";
    std::filesystem::copy(TRACEWIN_STAGE, root, std::filesystem::copy_options::recursive);
    const std::filesystem::path program = root / "jspvlm/tools/com-zet-kwo-ui-jspdebug";
    for (const char* written : {"monitor.out", "monitor.err", "appStatus.properties"})
        std::filesystem::remove(program / written);
    dir.write("opt/jspvlm/tools/com-zet-kwo-ui-jspdebug/user.settings", "");
    const quint16 port = freePort();
    dir.write("opt/jspvlm/tools/com-zet-kwo-ui-jspdebug/jspdebug.properties",
              "port=" + std::to_string(port) + "\n");
    std::filesystem::create_directories(dir.path() / "bin");
    std::filesystem::create_symlink(root / "jspvlm/nqc/bin/tracewin", dir.path() / "bin/tracewin");

    QProcess monitor;
    monitor.setProgram(QString::fromStdString((dir.path() / "bin/tracewin").string()));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("TRACEWIN_BROWSER_VIEW", "off");
    env.insert("XDG_CONFIG_HOME", QString::fromStdString((dir.path() / "config").string()));
    monitor.setProcessEnvironment(env);
    monitor.start();
    ASSERT_TRUE(monitor.waitForStarted(5000));

    const std::filesystem::path user = dir.path() / "config/tracewin";
    const std::string log = (user / "monitor.out").string();
    const std::string expected = "The connect port is: " + std::to_string(port);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const std::string text = testsupport::readFile(log);
            return text.find(expected) != std::string::npos &&
                   text.find("Accept on the socket") != std::string::npos;
        },
        10000))
        << testsupport::readFile(log);
    EXPECT_EQ(testsupport::withoutVariablesKey(
                  testsupport::readFile((user / "jspdebug.properties").string())),
              "port=" + std::to_string(port) + "\n");
    stop(monitor);
    for (const char* written : {"monitor.out", "monitor.err", "appStatus.properties"})
        EXPECT_FALSE(std::filesystem::exists(program / written)) << written;
}

TEST(InstalledTree, EveryProgramSaysItsVersion) {
    for (const char* name : {"tracewin", "pagerunner", "tomcatrunner", "quillrun"}) {
        QProcess program;
        program.setProgram(
            QString::fromStdString(std::string(TRACEWIN_STAGE) + "/jspvlm/nqc/bin/" + name));
        program.setArguments({QStringLiteral("--version")});
        // No display: the monitor answers before it needs one.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("QT_QPA_PLATFORM");
        program.setProcessEnvironment(env);
        program.start();
        ASSERT_TRUE(program.waitForFinished(10000)) << name;
        EXPECT_EQ(program.exitCode(), 0) << name;
        EXPECT_EQ(program.readAllStandardOutput().toStdString(),
                  tracewin::versionLine(name) + "\n");
    }
}

} // namespace
