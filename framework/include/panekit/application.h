#pragma once

#include "panekit/configuration.h"
#include "panekit/helphandler.h"
#include "panekit/menuresource.h"
#include "panekit/partsfactory.h"
#include "panekit/profile.h"
#include "panekit/resourcebundle.h"

#include <QIcon>

class QAbstractButton;
class QLabel;
class QWidget;
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace panekit {

class AbstractModel;
class CheckBoxMenuItemData;
class MenuData;
class MenuItemData;
class Tool;

// One framework application: its resources, its settings profiles, its parsed
// configurations, its models, its parts factory and its live tools. Applications are
// registered by key for the life of the process; everything runs on the user-interface
// thread.
class Application {
public:
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // The application registered under key, made and registered when there is none.
    static Application* getApplication(const QString& key);
    // The most recent application (a "default" one if none was made yet).
    static Application* getApplication();
    // The registered application, or null; never makes one.
    static Application* findApplication(const QString& key);
    // A key no application uses yet: "PanekitAppKey@" followed by a counter.
    static QString getUniqueKey();

    QString getKey() const { return key_; }

    // Loads the system profile (home first, then the protected home) and applies the
    // general preferences kept in it.
    void initialize();

    // ---- resources ----
    void setResourceFileName(const QString& name);
    QString getResourceFileName() const { return resourceFileName_; }
    // Where "<resource file name>.properties" is looked for, in order; by default the
    // home directory, then the protected home.
    void setResourceDirectories(const QStringList& directories);
    QStringList getResourceDirectories() const;
    bool loadResources();
    const ResourceBundle* getResources();
    void setExternalResources(std::unique_ptr<ResourceBundle> bundle);
    // The text for key; "?" for a missing key, the empty text when there are no resources.
    QString getString(const QString& key);
    // The text for key, or nullopt; reports nothing.
    std::optional<QString> findString(const QString& key);
    void setInformMissing(bool inform) { informMissing_ = inform; }
    // The image whose file the resource key names (relative to the home directory, else to
    // the protected home).
    QIcon loadIcon(const QString& imageKey);

    // ---- home directories ----
    void setHome(const QString& home) { home_ = home; }
    QString getHome() const { return home_; }
    void setProtectedHome(const QString& home) { phome_ = home; }
    QString getProtectedHome() const { return phome_; }

    // ---- profiles ----
    void setProfileName(const QString& name) { profileName_ = name; }
    void setSystemProfileName(const QString& name) { systemProfileName_ = name; }
    bool loadProfile();
    bool saveProfile();
    bool saveSystemProfile();
    Profile& getProfile() { return profile_; }
    Profile& getSystemProfile() { return systemProfile_; }
    bool isProfileLoaded() const { return profileLoaded_; }
    QString getFullProfileName(bool protectedHome) const;
    QString getFullSystemProfileName(bool protectedHome) const;

    // ---- configurations ----
    void setDefaultConfigFileName(const QString& name) { defaultConfigName_ = name; }
    void setWorkingConfigFileName(const QString& name) { workingConfigName_ = name; }
    QString getConfigurationSuffix();
    // The directory of configuration files: the resource "ConfigurationDir" under the home
    // (or protected home); the home itself when the resource is not set.
    QString getConfigurationDirectory(bool protectedHome);
    // Reads "<name><suffix>" from the configuration directory; null (with a line on
    // standard output for a file that exists but cannot be parsed) on failure.
    const Configuration* loadConfiguration(const QString& name, bool protectedHome);
    // A configuration loaded before, else loaded now (home, then protected home).
    const Configuration* getConfiguration(const QString& name);
    bool setCurrentConfiguration(const QString& name, bool protectedHome = false);
    // The configuration in use, loaded on first need: the current name (from the profile,
    // by default the working copy), else the default configuration.
    const Configuration* getCurrentConfiguration();
    QString getCurrentConfigurationName() const { return currentConfiguration_; }
    bool saveConfiguration();
    const DataBlockDescription* getDataBlock(const QString& type, const QString& name);

    // ---- menu texts from resources ("&Step@CTRL+VK_S") ----
    MenuResource parseMenuResource(const QString& key);
    // A menu, item or check item labelled from the resource key (missing keys give "?").
    std::shared_ptr<MenuData> getMenuData(const QString& key);
    std::shared_ptr<MenuItemData> getMenuItemData(const QString& key);
    std::shared_ptr<CheckBoxMenuItemData> getCheckBoxMenuItemData(const QString& key);
    void setButtonTextAndMnemonic(const QString& key, QAbstractButton* button);
    QLabel* createLabel(const QString& key, QWidget* parent = nullptr);
    static const QHash<QString, int>& getKeyMap() { return menuKeyMap(); }

    // ---- help ----
    // The application's help handler, made on first use (settings from the profile).
    HelpHandler& getHelpHandler();
    void setHelpHandler(std::unique_ptr<HelpHandler> handler);

    // ---- models and tools ----
    PartsFactory& getPartsFactory() { return factory_; }
    AbstractModel* getModelInstance(const ModelDescription& description);
    AbstractModel* getDefaultModel();
    void shutdownModels();
    void addTool(Tool* tool);
    void removeTool(Tool* tool);
    const QList<Tool*>& getTools() const { return tools_; }

    // ---- look and feel ----
    void setUIStyle(const QString& style);
    QString getUIStyle() const { return uiStyle_; }
    void setUILook(const QString& look) { uiLook_ = look; }
    QString getUILook() const { return uiLook_; }

    // ---- exit ----
    // Saves the configuration in use and both profiles, then shuts the models down.
    void exitApplication(int code);
    // exitApplication, then ends the process with code.
    void exit(int code);
    // Replaces the process exit (for tests and embedding); by default the event loop is
    // left with code, or the process ends when no event loop runs.
    void setExitHandler(std::function<void(int)> handler) { exitHandler_ = std::move(handler); }

private:
    explicit Application(QString key);

    QString key_;
    QString resourceFileName_ = QStringLiteral("Application");
    QStringList resourceDirectories_;
    std::unique_ptr<ResourceBundle> resources_;
    bool resourcesTried_ = false;
    bool informMissing_ = true;

    QString home_ = QStringLiteral(".");
    QString phome_;
    QString profileName_ = QStringLiteral("Panes.ini");
    QString systemProfileName_ = QStringLiteral("System.ini");
    Profile profile_;
    Profile systemProfile_;
    bool profileLoaded_ = false;

    QString defaultConfigName_ = QStringLiteral("default");
    QString workingConfigName_ = QStringLiteral("working");
    QString currentConfiguration_ = workingConfigName_;
    std::map<QString, std::unique_ptr<Configuration>> configurations_;
    std::vector<std::unique_ptr<Configuration>> retired_;
    const Configuration* inUse_ = nullptr;

    std::unique_ptr<HelpHandler> hhandler_;
    PartsFactory factory_;
    std::map<QString, std::unique_ptr<AbstractModel>> models_;
    QList<Tool*> tools_;

    QString uiStyle_;
    QString uiLook_;
    std::function<void(int)> exitHandler_;
};

} // namespace panekit
