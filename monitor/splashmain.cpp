// The splash program: shows "please wait" while the monitor starts; closing it ends it.
#include "installpaths.h"
#include "splashmsghandler.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    tracewin::setUpInstallPaths();
    tracewin::SplashMsgHandler splash(QString::fromLatin1(tracewin::SplashMsgHandler::waitMessage));
    splash.showSplashMsg();
    return QApplication::exec();
}
