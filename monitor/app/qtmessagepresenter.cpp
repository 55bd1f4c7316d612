#include "app/qtmessagepresenter.h"

#include "tracehook/messagehandler.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <cstdio>

namespace tracewin {
namespace {

void showBox(const tracehook::MessageHandler::Dialog& dialog) {
    QMessageBox box(QMessageBox::Critical, QString::fromStdString(dialog.title),
                    QString::fromStdString(dialog.message), QMessageBox::NoButton,
                    QApplication::activeWindow());
    box.addButton(QString::fromStdString(dialog.buttonLabel), QMessageBox::AcceptRole);
    box.exec();
}

} // namespace

void QtMessagePresenter::install() {
    tracehook::MessageHandler::setPresenter([](const tracehook::MessageHandler::Dialog& dialog) {
        QCoreApplication* app = QCoreApplication::instance();
        if (!app) {
            std::fprintf(stderr, "%s: %s\n", dialog.title.c_str(), dialog.message.c_str());
            return;
        }
        if (QThread::currentThread() == app->thread()) {
            showBox(dialog);
            return;
        }
        // Dialogs belong to the user-interface thread; the caller waits for the answer.
        QMetaObject::invokeMethod(
            app, [dialog] { showBox(dialog); }, Qt::BlockingQueuedConnection);
    });
}

} // namespace tracewin
