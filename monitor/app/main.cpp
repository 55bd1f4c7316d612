// The monitor program.
#include "app/monitor.h"
#include "app/monitorparts.h"
#include "core/installpaths.h"
#include "panekit/application.h"

#include <QApplication>

int main(int argc, char** argv) {
    tracewin::Monitor::prepareProcess();
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
