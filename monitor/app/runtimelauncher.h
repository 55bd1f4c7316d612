#pragma once

#include "core/pagelaunch.h"

#include <QObject>
#include <QProcess>
#include <QString>
#include <functional>
#include <memory>

namespace panekit {
class Application;
}

namespace tracewin {

// Starts the page runtime of an Open page request as a child process of the monitor:
// the program is found in the folder of the monitor's own programs, its output goes to the
// monitor's log line by line, and a runtime that cannot start or ends with a failure is
// reported with its own last words. One runtime at a time; the monitor's end ends it, so
// none outlives the window.
class RuntimeLauncher : public QObject {
    Q_OBJECT
public:
    // `programDir` holds pagerunner and tomcatrunner; the texts come from `app`.
    RuntimeLauncher(QString programDir, panekit::Application& app, QObject* parent = nullptr);
    ~RuntimeLauncher() override;

    // Where failures go; by default the tool error dialog.
    void setFailureHandler(std::function<void(const QString&)> handler) {
        failureHandler_ = std::move(handler);
    }
    // Starts the request's runtime against the monitor's port, ending one still running.
    // False (and the failure reported) when the request is incomplete or the program
    // cannot be started.
    bool start(const PageLaunchRequest& request, int monitorPort);
    // Ends the running runtime, politely first; nothing when none runs.
    void stop();
    bool isRunning() const;
    qint64 processId() const;

signals:
    // The runtime ended on its own, with its exit code (-1 when it crashed).
    void finished(int exitCode);

private:
    void forwardOutput(QProcess::ProcessChannel channel);
    void reportFailure(const QString& message);
    void processFinished(int exitCode, QProcess::ExitStatus status);
    QString text(const char* key) const;

    QString programDir_;
    panekit::Application& app_;
    QString programName_;
    std::unique_ptr<QProcess> process_;
    // The last lines the runtime wrote, which say why it failed.
    QStringList lastLines_;
    std::function<void(const QString&)> failureHandler_;
};

} // namespace tracewin
