// The splash program: shows "please wait" while the monitor starts; closing it ends it.
#include "app/splashmsghandler.h"
#include "core/installpaths.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    tracewin::setUpInstallPaths();
    tracewin::SplashMsgHandler splash(QString::fromLatin1(tracewin::SplashMsgHandler::waitMessage));
    splash.showSplashMsg();
    return QApplication::exec();
}
