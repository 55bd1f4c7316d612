#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>

namespace panekit {

class Profile;

// Shows help pages of one application. Names are resolved against the help base (a
// directory under the application's home, "help" by default) as file:// URLs; names that
// carry a scheme ("://") are used as they are. There is no internal help window, so pages
// are shown in the external browser: the program set for the current browser, else the
// desktop's default browser.
class HelpHandler {
public:
    // Opens url; false with error filled when it could not.
    using Opener = std::function<bool(const QUrl& url, QString* error)>;

    explicit HelpHandler(QString appKey);

    void setBase(const QString& base) { base_ = base; }
    QString getBase() const { return base_; }
    QUrl resolve(const QString& name) const;

    // Resolves name and shows it (externally when isExternalBrowser); false when the
    // browser could not be started ("Failed to launch the browser: ..." on standard output).
    bool showURL(const QString& name);
    bool showURLInternal(const QUrl& url);
    bool showURLExternal(const QUrl& url);
    bool isInternalBrowserAvailable() const { return false; }

    void setHelpFileName(const QString& name) { fileName_ = name; }
    QString getHelpFileName() const { return fileName_; }
    void setExternalBrowser(bool external) { external_ = external; }
    bool isExternalBrowser() const { return external_; }
    void setNewBrowserWindow(bool newWindow) { newWindow_ = newWindow; }
    bool isNewBrowserWindow() const { return newWindow_; }
    // "Netscape Navigator" and "Internet Explorer" on Windows, "Netscape Navigator" elsewhere.
    QStringList getBrowserList() const;
    void setCurrentBrowser(const QString& browser) { browser_ = browser; }
    QString getCurrentBrowser() const { return browser_; }
    // The program of a browser; empty: the desktop's default browser.
    void setBrowserPath(const QString& browser, const QString& path);
    QString getBrowserPath(const QString& browser) const { return paths_.value(browser); }

    // Settings in the pane-settings profile: "_PanekitHelpCurrent", "_PanekitHelpExternal",
    // "_PanekitHelpPath" and "_PanekitHelpNewWindow".
    void initializeFromProfile(const Profile& profile);
    void saveToProfile(Profile& profile) const;
    // Keeps the settings in the application's profile.
    void shutdown();

    // Replaces the way URLs are opened (for tests and embedding).
    void setOpener(Opener opener) { opener_ = std::move(opener); }

private:
    QString appKey_;
    QString base_ = QStringLiteral("help");
    QString fileName_;
    QString browser_;
    QHash<QString, QString> paths_;
    bool external_ = true;
    bool newWindow_ = false;
    Opener opener_;
};

} // namespace panekit
