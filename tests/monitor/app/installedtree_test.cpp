// The staged install tree runs as it is: the monitor program starts from it, shows its
// window and listens on the port of that tree's debug settings file.
#include "support/tempdir.h"

#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

TEST(InstalledTree, TheMonitorStartsFromItAndListensOnItsPort) {
    testsupport::TempDir dir;
    const std::filesystem::path root = dir.path() / "env";
    std::filesystem::copy(TRACEWIN_STAGE, root, std::filesystem::copy_options::recursive);
    const std::filesystem::path program = root / "jspvlm/tools/com-zet-kwo-ui-jspdebug";
    std::filesystem::remove(program / "monitor.out");

    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 port = probe.serverPort();
    probe.close();
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

    monitor.terminate();
    if (!monitor.waitForFinished(5000)) {
        monitor.kill();
        monitor.waitForFinished(5000);
    }
}

} // namespace
