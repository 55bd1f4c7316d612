// Test entry point for tests that need a QApplication (widgets, timers, sockets).
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The browser view's engine (a browser of its own processes) starts only in the tests
    // that turn it on, and in none when the environment turned it off (sanitizer runs: the
    // engine is not built with them).
    if (!qEnvironmentVariableIsSet("TRACEWIN_BROWSER_VIEW")) {
        qputenv("TRACEWIN_BROWSER_VIEW", "off");
        qputenv("TRACEWIN_BROWSER_VIEW_TESTABLE", "1");
    }
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
