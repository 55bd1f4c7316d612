// The monitor program.
#include "app/monitor.h"
#include "app/monitorparts.h"
#include "core/installpaths.h"
#include "panekit/application.h"
#include "tracewin/version.h"

#include <QApplication>
#include <cstdio>
#include <string_view>

namespace {

constexpr const char* kHelp =
    "Usage: tracewin [-server DIR] [-external] [-hide]\n"
    "       tracewin --help | --version\n"
    "\n"
    "The monitor of a step debugger for JSP pages. It listens on 127.0.0.1 for page\n"
    "runtimes (pagerunner, tomcatrunner) on the port of its debug settings file, and\n"
    "shows the page's JSP source, the Java servlet made from it, the HTML it writes and\n"
    "the HTML elements still open, while you step through the page.\n"
    "\n"
    "  -server DIR   the test server's root\n"
    "  -external     started outside the development environment (with -server, DIR\n"
    "                is also the home folder)\n"
    "  -hide         build the window, show nothing, and exit\n"
    "  --help        show this text\n"
    "  --version     show the version\n"
    "\n"
    "Settings (jspdebug.properties, the port on its first line; the window profiles)\n"
    "and the log (monitor.out, monitor.err) are kept in the monitor's install folder,\n"
    "or in $XDG_CONFIG_HOME/tracewin (~/.config/tracewin) when the install is not the\n"
    "user's to change.\n";

} // namespace

int main(int argc, char** argv) {
    // Answered before the toolkit starts: no display is needed for them.
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--version") {
            std::puts(tracewin::versionLine("tracewin").c_str());
            return 0;
        }
        if (arg == "--help") {
            std::fputs(kHelp, stdout);
            return 0;
        }
    }
    tracewin::Monitor::prepareProcess();
    // The desktop groups the windows by this name and finds tracewin.desktop with it.
    QCoreApplication::setApplicationName(QStringLiteral("tracewin"));
    QCoreApplication::setApplicationVersion(
        QString::fromLatin1(tracewin::version.data(), tracewin::version.size()));
    QGuiApplication::setDesktopFileName(QStringLiteral("tracewin"));
    QApplication app(argc, argv);
    tracewin::setUpInstallPaths();
    tracewin::registerMonitorParts(
        panekit::Application::getApplication(QString::fromLatin1(tracewin::Monitor::applicationKey))
            ->getPartsFactory());
    std::vector<std::string> args(argv + 1, argv + argc);
    tracewin::Monitor monitor;
    if (!monitor.start(args, tracewin::Monitor::Options{}))
        return 1;
    return QApplication::exec();
}
