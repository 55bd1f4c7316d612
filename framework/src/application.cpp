#include "panekit/application.h"

#include "output.h"
#include "panekit/abstractmodel.h"
#include "panekit/configparser.h"
#include "panekit/menudata.h"
#include "panekit/tool.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QSaveFile>
#include <QStyle>
#include <QStyleFactory>
#include <QThread>
#include <cstdlib>

namespace panekit {
namespace {

const QString currentConfigurationKey = QStringLiteral("_PanekitCurrentConfiguration");
const QString uiStyleKey = QStringLiteral("_PanekitUIStyle");

struct Registry {
    std::map<QString, std::unique_ptr<Application>> applications;
    Application* recent = nullptr;
    int appCnt = 0;
};

Registry& registry() {
    static Registry r;
    return r;
}

void defaultExit(int code) {
    if (QCoreApplication::instance() && QThread::currentThread()->loopLevel() > 0) {
        QCoreApplication::exit(code);
        return;
    }
    std::exit(code);
}

} // namespace

Application::Application(QString key) : key_(std::move(key)) {}

Application::~Application() = default;

Application* Application::getApplication(const QString& key) {
    Registry& r = registry();
    auto it = r.applications.find(key);
    if (it == r.applications.end()) {
        it = r.applications.emplace(key, std::unique_ptr<Application>(new Application(key))).first;
        r.recent = it->second.get();
    }
    return it->second.get();
}

Application* Application::getApplication() {
    Registry& r = registry();
    return r.recent ? r.recent : getApplication(QStringLiteral("default"));
}

Application* Application::findApplication(const QString& key) {
    Registry& r = registry();
    const auto it = r.applications.find(key);
    return it == r.applications.end() ? nullptr : it->second.get();
}

QString Application::getUniqueKey() {
    Registry& r = registry();
    QString key;
    do {
        key = QStringLiteral("PanekitAppKey@") + QString::number(++r.appCnt);
    } while (r.applications.count(key) != 0);
    return key;
}

void Application::initialize() {
    if (!systemProfile_.load(getFullSystemProfileName(false)) && !phome_.isEmpty())
        systemProfile_.load(getFullSystemProfileName(true));
    if (const auto style = systemProfile_.get(uiStyleKey))
        setUIStyle(*style);
}

// ---- resources ---------------------------------------------------------------------

void Application::setResourceFileName(const QString& name) {
    resourceFileName_ = name;
    resources_.reset();
    resourcesTried_ = false;
}

void Application::setResourceDirectories(const QStringList& directories) {
    resourceDirectories_ = directories;
    resources_.reset();
    resourcesTried_ = false;
}

QStringList Application::getResourceDirectories() const {
    if (!resourceDirectories_.isEmpty())
        return resourceDirectories_;
    QStringList dirs{home_};
    if (!phome_.isEmpty())
        dirs << phome_;
    return dirs;
}

bool Application::loadResources() {
    resourcesTried_ = true;
    resources_ = PropertiesResourceBundle::find(resourceFileName_, getResourceDirectories());
    if (!resources_)
        printLine(QStringLiteral("Cannot load ") + resourceFileName_ +
                  QStringLiteral(".properties"));
    return resources_ != nullptr;
}

const ResourceBundle* Application::getResources() {
    if (!resources_ && !resourcesTried_)
        loadResources();
    return resources_.get();
}

void Application::setExternalResources(std::unique_ptr<ResourceBundle> bundle) {
    resources_ = std::move(bundle);
    resourcesTried_ = true;
}

std::optional<QString> Application::findString(const QString& key) {
    const ResourceBundle* bundle = getResources();
    return bundle ? bundle->getString(key) : std::nullopt;
}

QString Application::getString(const QString& key) {
    const ResourceBundle* bundle = getResources();
    if (!bundle)
        return QString();
    if (auto text = bundle->getString(key))
        return *text;
    if (informMissing_)
        printLine(QStringLiteral("Resource ") + key +
                  QStringLiteral(": Can't find resource for bundle ") + bundle->getName() +
                  QStringLiteral(", key ") + key);
    return QStringLiteral("?");
}

QIcon Application::loadIcon(const QString& imageKey) {
    if (imageKey.isEmpty())
        return QIcon();
    const QString file = findString(imageKey).value_or(imageKey);
    for (const QString& home : {home_, phome_}) {
        const QString path = home.isEmpty() ? QString() : QDir(home).filePath(file);
        if (!path.isEmpty() && QFileInfo::exists(path))
            return QIcon(path);
    }
    return QIcon();
}

// ---- profiles ----------------------------------------------------------------------

QString Application::getFullProfileName(bool protectedHome) const {
    return QDir(protectedHome ? phome_ : home_).filePath(profileName_);
}

QString Application::getFullSystemProfileName(bool protectedHome) const {
    return QDir(protectedHome ? phome_ : home_).filePath(systemProfileName_);
}

bool Application::loadProfile() {
    profileLoaded_ = profile_.load(getFullProfileName(false)) ||
                     (!phome_.isEmpty() && profile_.load(getFullProfileName(true)));
    if (const auto name = profile_.get(currentConfigurationKey); name && !name->isEmpty())
        currentConfiguration_ = *name;
    return profileLoaded_;
}

bool Application::saveProfile() {
    const QString path = getFullProfileName(false);
    if (profile_.save(path, QStringLiteral("Pane settings")))
        return true;
    printLine(QStringLiteral("Cannot save profile to ") + path);
    return false;
}

bool Application::saveSystemProfile() {
    const QString path = getFullSystemProfileName(false);
    if (systemProfile_.save(path, QStringLiteral("System settings")))
        return true;
    printLine(QStringLiteral("Cannot save profile to ") + path);
    return false;
}

// ---- configurations ----------------------------------------------------------------

QString Application::getConfigurationSuffix() {
    const QString suffix = findString(QStringLiteral("ConfigurationSuffix")).value_or(QString());
    return suffix.isEmpty() ? QStringLiteral(".cfg") : suffix;
}

QString Application::getConfigurationDirectory(bool protectedHome) {
    const QDir base(protectedHome ? phome_ : home_);
    const QString dir = findString(QStringLiteral("ConfigurationDir")).value_or(QString());
    return dir.isEmpty() ? base.path() : base.filePath(dir);
}

const Configuration* Application::loadConfiguration(const QString& name, bool protectedHome) {
    if (protectedHome && phome_.isEmpty())
        return nullptr;
    const QString path =
        QDir(getConfigurationDirectory(protectedHome)).filePath(name + getConfigurationSuffix());
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return nullptr;
    auto config = std::make_unique<Configuration>();
    config->name = name;
    QString error;
    if (!ConfigParser::load(file, path, *config, &error)) {
        printLine(error);
        if (name == workingConfigName_)
            printLine(QStringLiteral("Error: Working configuration is corrupted"));
        return nullptr;
    }
    config->timestamp = QFileInfo(path).lastModified();
    const Configuration* loaded = config.get();
    if (auto it = configurations_.find(name); it != configurations_.end()) {
        // Pages built from the older copy still point into it, so it is kept alive.
        if (it->second.get() == inUse_)
            inUse_ = loaded;
        retired_.push_back(std::move(it->second));
    }
    configurations_[name] = std::move(config);
    return loaded;
}

const Configuration* Application::getConfiguration(const QString& name) {
    if (const auto it = configurations_.find(name); it != configurations_.end())
        return it->second.get();
    if (const Configuration* c = loadConfiguration(name, false))
        return c;
    return loadConfiguration(name, true);
}

bool Application::setCurrentConfiguration(const QString& name, bool protectedHome) {
    const Configuration* config =
        protectedHome ? loadConfiguration(name, true) : getConfiguration(name);
    if (!config)
        return false;
    currentConfiguration_ = name;
    inUse_ = config;
    profile_.set(currentConfigurationKey, name);
    return true;
}

const Configuration* Application::getCurrentConfiguration() {
    if (inUse_)
        return inUse_;
    inUse_ = getConfiguration(currentConfiguration_);
    if (!inUse_ && currentConfiguration_ != defaultConfigName_)
        inUse_ = getConfiguration(defaultConfigName_);
    if (!inUse_)
        printLine(QStringLiteral("Cannot find configuration ") + currentConfiguration_ +
                  getConfigurationSuffix() + QStringLiteral(" in ") +
                  getConfigurationDirectory(false));
    return inUse_;
}

bool Application::saveConfiguration() {
    if (!inUse_)
        return false;
    // The configuration in use is kept as the working copy in the home directory.
    const QString dir = getConfigurationDirectory(false);
    const QString path = QDir(dir).filePath(workingConfigName_ + getConfigurationSuffix());
    QDir().mkpath(dir);
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(inUse_->text) == inUse_->text.size() &&
        file.commit())
        return true;
    printLine(QStringLiteral("Cannot save configuration to ") + path);
    return false;
}

const DataBlockDescription* Application::getDataBlock(const QString& type, const QString& name) {
    const Configuration* config = getCurrentConfiguration();
    return config ? config->findDataBlock(type, name) : nullptr;
}

// ---- models and tools --------------------------------------------------------------

AbstractModel* Application::getModelInstance(const ModelDescription& description) {
    if (const auto it = models_.find(description.name); it != models_.end())
        return it->second.get();
    std::unique_ptr<AbstractModel> model = factory_.createModel(description.className);
    if (!model) {
        printLine(QStringLiteral("Cannot create model ") + description.name +
                  QStringLiteral(": unknown class ") + description.className);
        return nullptr;
    }
    model->setModelSupport(
        std::make_unique<ModelSupport>(description.name, description.defaultModel, key_));
    AbstractModel* raw = model.get();
    models_[description.name] = std::move(model);
    raw->install();
    return raw;
}

AbstractModel* Application::getDefaultModel() {
    const Configuration* config = getCurrentConfiguration();
    const ModelDescription* description = config ? config->defaultModel() : nullptr;
    return description ? getModelInstance(*description) : nullptr;
}

void Application::shutdownModels() {
    for (auto& [name, model] : models_) {
        model->applicationExiting();
        model->uninstall();
    }
}

void Application::addTool(Tool* tool) {
    if (tool && !tools_.contains(tool))
        tools_.append(tool);
}

void Application::removeTool(Tool* tool) {
    tools_.removeAll(tool);
}

// ---- look and feel -----------------------------------------------------------------

void Application::setUIStyle(const QString& style) {
    uiStyle_ = style;
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) && !style.isEmpty()) {
        if (QStyle* s = QStyleFactory::create(style))
            QApplication::setStyle(s);
    }
}

// ---- exit --------------------------------------------------------------------------

void Application::exitApplication(int) {
    if (inUse_)
        saveConfiguration();
    // The help settings live in the pane-settings profile, so they go in before it is saved.
    if (hhandler_)
        hhandler_->shutdown();
    saveProfile();
    saveSystemProfile();
    shutdownModels();
}

MenuResource Application::parseMenuResource(const QString& key) {
    return parseMenuText(getString(key));
}

std::shared_ptr<MenuData> Application::getMenuData(const QString& key) {
    const MenuResource r = parseMenuResource(key);
    auto menu = std::make_shared<MenuData>(r.label);
    menu->setMnemonic(r.mnemonic);
    menu->setKey(key);
    return menu;
}

std::shared_ptr<MenuItemData> Application::getMenuItemData(const QString& key) {
    const MenuResource r = parseMenuResource(key);
    auto item = std::make_shared<MenuItemData>(r.label);
    item->setMnemonic(r.mnemonic);
    item->setAccelerator(r.accelerator);
    item->setKey(key);
    return item;
}

std::shared_ptr<CheckBoxMenuItemData> Application::getCheckBoxMenuItemData(const QString& key) {
    const MenuResource r = parseMenuResource(key);
    auto item = std::make_shared<CheckBoxMenuItemData>(r.label);
    item->setMnemonic(r.mnemonic);
    item->setAccelerator(r.accelerator);
    item->setKey(key);
    return item;
}

void Application::setButtonTextAndMnemonic(const QString& key, QAbstractButton* button) {
    if (!button)
        return;
    const MenuResource r = parseMenuResource(key);
    button->setText(r.qtText());
    if (!r.accelerator.isEmpty())
        button->setShortcut(r.accelerator);
}

QLabel* Application::createLabel(const QString& key, QWidget* parent) {
    return new QLabel(getString(key), parent);
}

HelpHandler& Application::getHelpHandler() {
    if (!hhandler_) {
        hhandler_ = std::make_unique<HelpHandler>(key_);
        hhandler_->initializeFromProfile(profile_);
    }
    return *hhandler_;
}

void Application::setHelpHandler(std::unique_ptr<HelpHandler> handler) {
    hhandler_ = std::move(handler);
}

void Application::exit(int code) {
    exitApplication(code);
    (exitHandler_ ? exitHandler_ : defaultExit)(code);
}

} // namespace panekit
