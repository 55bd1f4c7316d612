#include "app/runtimelauncher.h"

#include "panekit/application.h"
#include "tracehook/messagehandler.h"
#include "tracehook/tracer.h"

#include <QDir>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#endif

namespace tracewin {
namespace {

// How many of the runtime's last lines a failure message quotes.
constexpr int kLinesKept = 8;
// How long a runtime gets to end on its own before it is killed.
constexpr int kStopGraceMs = 3000;

} // namespace

RuntimeLauncher::RuntimeLauncher(QString programDir, panekit::Application& app, QObject* parent)
    : QObject(parent), programDir_(std::move(programDir)), app_(app) {}

RuntimeLauncher::~RuntimeLauncher() {
    stop();
}

QString RuntimeLauncher::text(const char* key) const {
    return app_.getString(QString::fromLatin1(key));
}

bool RuntimeLauncher::isRunning() const {
    return process_ && process_->state() != QProcess::NotRunning;
}

qint64 RuntimeLauncher::processId() const {
    return process_ ? process_->processId() : 0;
}

bool RuntimeLauncher::start(const PageLaunchRequest& request, int monitorPort) {
    const PageLaunchPlan plan = planPageLaunch(request, monitorPort);
    if (!plan.command) {
        reportFailure(text("E-RuntimeNotStarted").arg(QString::fromStdString(plan.problem)));
        return false;
    }
    stop();
    programName_ = QString::fromStdString(plan.command->program);
    const QString program = QDir(programDir_).filePath(programName_);
    QStringList arguments;
    for (const std::string& argument : plan.command->arguments)
        arguments << QString::fromStdString(argument);
    lastLines_.clear();
    process_ = std::make_unique<QProcess>();
    connect(process_.get(), &QProcess::readyReadStandardOutput, this,
            [this] { forwardOutput(QProcess::StandardOutput); });
    connect(process_.get(), &QProcess::readyReadStandardError, this,
            [this] { forwardOutput(QProcess::StandardError); });
    connect(process_.get(), &QProcess::finished, this, &RuntimeLauncher::processFinished);
#ifdef Q_OS_LINUX
    // Should the monitor die without ending it, the runtime is told to end all the same.
    process_->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
#endif
    tracehook::Tracer::printLine("Starting " + program.toStdString() + " " +
                                 arguments.join(u' ').toStdString());
    process_->start(program, arguments);
    if (!process_->waitForStarted()) {
        const QString reason = process_->errorString();
        process_->disconnect(this);
        process_.reset();
        reportFailure(text("E-RuntimeCannotStart").arg(programName_, program, reason));
        return false;
    }
    return true;
}

void RuntimeLauncher::stop() {
    if (!process_)
        return;
    // Ended on purpose: not a failure to report.
    process_->disconnect(this);
    if (process_->state() != QProcess::NotRunning) {
        process_->terminate();
        if (!process_->waitForFinished(kStopGraceMs)) {
            process_->kill();
            process_->waitForFinished(kStopGraceMs);
        }
        tracehook::Tracer::printLine(programName_.toStdString() + " stopped by the monitor.");
    }
    process_.reset();
}

void RuntimeLauncher::forwardOutput(QProcess::ProcessChannel channel) {
    if (!process_)
        return;
    process_->setReadChannel(channel);
    // A line still being written stays in the buffer until its end arrives (or the
    // runtime ends).
    while (process_->canReadLine() ||
           (process_->state() == QProcess::NotRunning && process_->bytesAvailable() > 0)) {
        const QString line = QString::fromLocal8Bit(process_->readLine()).trimmed();
        if (line.isEmpty())
            continue;
        // The runtimes name themselves in their messages; others get the name put before.
        const QString named = line.startsWith(programName_ + u':')
                                  ? line
                                  : programName_ + QStringLiteral(": ") + line;
        tracehook::Tracer::printLine(named.toStdString());
        lastLines_ << line;
        if (lastLines_.size() > kLinesKept)
            lastLines_.removeFirst();
    }
}

void RuntimeLauncher::processFinished(int exitCode, QProcess::ExitStatus status) {
    forwardOutput(QProcess::StandardOutput);
    forwardOutput(QProcess::StandardError);
    const bool crashed = status == QProcess::CrashExit;
    tracehook::Tracer::printLine(programName_.toStdString() + " ended with exit code " +
                                 std::to_string(crashed ? -1 : exitCode) + ".");
    // The process object is done; it goes once this signal has been handled.
    process_.release()->deleteLater();
    if (crashed || exitCode != 0) {
        QString message = crashed ? text("E-RuntimeCrashed").arg(programName_)
                                  : text("E-RuntimeFailed").arg(programName_).arg(exitCode);
        if (!lastLines_.isEmpty())
            message += QStringLiteral("\n\n") + lastLines_.join(u'\n');
        reportFailure(message);
    }
    emit finished(crashed ? -1 : exitCode);
}

void RuntimeLauncher::reportFailure(const QString& message) {
    tracehook::Tracer::printLine(message.toStdString());
    if (failureHandler_)
        failureHandler_(message);
    else
        tracehook::MessageHandler::showToolError(message.toStdString());
}

} // namespace tracewin
