#include "panekit/helphandler.h"

#include "output.h"
#include "panekit/application.h"
#include "panekit/profile.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSysInfo>

namespace panekit {

HelpHandler::HelpHandler(QString appKey) : appKey_(std::move(appKey)) {
    browser_ = getBrowserList().front();
}

QUrl HelpHandler::resolve(const QString& name) const {
    if (name.contains(QLatin1String("://")))
        return QUrl(name);
    Application* app = Application::getApplication(appKey_);
    const qsizetype hash = name.indexOf(u'#');
    const QString file = hash < 0 ? name : name.left(hash);
    const auto inHome = [&](const QString& home) {
        const QDir base(QDir::isAbsolutePath(base_) ? base_ : QDir(home).filePath(base_));
        return QDir::cleanPath(base.absoluteFilePath(file));
    };
    QString path = inHome(app->getHome());
    // The pages an application ships stay in its protected home when its home is elsewhere.
    if (!QFileInfo::exists(path) && !app->getProtectedHome().isEmpty()) {
        const QString shipped = inHome(app->getProtectedHome());
        if (QFileInfo::exists(shipped))
            path = shipped;
    }
    QUrl url = QUrl::fromLocalFile(path);
    if (hash >= 0)
        url.setFragment(name.mid(hash + 1));
    return url;
}

bool HelpHandler::showURL(const QString& name) {
    const QUrl url = resolve(name);
    fileName_ = name;
    return external_ ? showURLExternal(url) : showURLInternal(url);
}

bool HelpHandler::showURLInternal(const QUrl&) {
    return true; // accepted; there is no internal help window to show it in
}

bool HelpHandler::showURLExternal(const QUrl& url) {
    QString error;
    bool ok = false;
    if (opener_) {
        ok = opener_(url, &error);
    } else if (const QString program = paths_.value(browser_); !program.isEmpty()) {
        ok = QProcess::startDetached(program, {url.toString()});
        if (!ok)
            error = QStringLiteral("cannot start ") + program;
    } else {
        ok = QDesktopServices::openUrl(url);
        if (!ok)
            error = QStringLiteral("the desktop has no browser for ") + url.toString();
    }
    if (!ok)
        printLine(QStringLiteral("Failed to launch the browser: ") + error);
    return ok;
}

QStringList HelpHandler::getBrowserList() const {
    if (QSysInfo::productType() == QLatin1String("windows"))
        return {QStringLiteral("Netscape Navigator"), QStringLiteral("Internet Explorer")};
    return {QStringLiteral("Netscape Navigator")};
}

void HelpHandler::setBrowserPath(const QString& browser, const QString& path) {
    paths_.insert(browser, path);
}

void HelpHandler::initializeFromProfile(const Profile& profile) {
    browser_ = profile.value(QStringLiteral("_PanekitHelpCurrent"), browser_);
    if (auto v = profile.get(QStringLiteral("_PanekitHelpExternal")))
        external_ = *v == QLatin1String("true");
    if (auto v = profile.get(QStringLiteral("_PanekitHelpNewWindow")))
        newWindow_ = *v == QLatin1String("true");
    if (auto v = profile.get(QStringLiteral("_PanekitHelpPath")))
        paths_.insert(browser_, *v);
}

void HelpHandler::saveToProfile(Profile& profile) const {
    profile.set(QStringLiteral("_PanekitHelpCurrent"), browser_);
    profile.set(QStringLiteral("_PanekitHelpExternal"),
                external_ ? QStringLiteral("true") : QStringLiteral("false"));
    profile.set(QStringLiteral("_PanekitHelpPath"), paths_.value(browser_));
    profile.set(QStringLiteral("_PanekitHelpNewWindow"),
                newWindow_ ? QStringLiteral("true") : QStringLiteral("false"));
}

void HelpHandler::shutdown() {
    if (Application* app = Application::findApplication(appKey_))
        saveToProfile(app->getProfile());
}

} // namespace panekit
