#pragma once

#include <QIcon>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <any>
#include <memory>
#include <vector>

namespace panekit {

class Prefdeck;
class Profile;

// One page of a preferences dialog. The dialog builds the page's component (buildClient)
// the first time the page is shown, hands it the settings to display, and on OK asks it to
// save them back, but only if the page was shown. Pages form a tree; a node owns its
// children.
class PreferenceNode {
public:
    // systemNode: the page edits the system settings instead of the ordinary ones.
    explicit PreferenceNode(bool systemNode = false);
    virtual ~PreferenceNode();
    PreferenceNode(const PreferenceNode&) = delete;
    PreferenceNode& operator=(const PreferenceNode&) = delete;

    void setSystemNode(bool system) { systemNode_ = system; }
    bool isSystemNode() const { return systemNode_; }
    // A unique identifier of the node in the process.
    int getId() const { return id_; }

    PreferenceNode* addChild(std::unique_ptr<PreferenceNode> child);
    // Gives the child back to the caller (null when it is not a child of this node).
    std::unique_ptr<PreferenceNode> removeChild(PreferenceNode* child);
    std::vector<PreferenceNode*> getChildren() const;
    PreferenceNode* getParent() const { return parent_; }

    void setTitle(const QString& title) { title_ = title; }
    virtual QString getTitle() const { return title_; }
    void setDescription(const QString& description) { description_ = description; }
    virtual QString getDescription() const { return description_; }

    // The page's component; the dialog takes ownership.
    virtual QWidget* buildClient() = 0;
    // Settings to show and to save. The settings are what the dialog was given; when they
    // hold a Profile* the default forwards to the Profile forms.
    virtual void displaySettings(std::any& settings);
    virtual void saveSettings(std::any& settings);
    virtual void displaySettings(Profile& profile);
    virtual void saveSettings(Profile& profile);
    virtual void displayHelp() {}

    QWidget* getClient() const { return client_; }
    void setClient(QWidget* client) { client_ = client; }
    void setIcon(const QIcon& icon) { icon_ = icon; }
    QIcon getIcon() const { return icon_; }
    void setOpenIcon(const QIcon& icon) { openIcon_ = icon; }
    QIcon getOpenIcon() const { return openIcon_.isNull() ? icon_ : openIcon_; }
    void setPreferences(Prefdeck* deck) { deck_ = deck; }
    Prefdeck* getPreferences() const { return deck_; }
    // Whether the node is in a dialog.
    bool isAdded() const { return deck_ != nullptr; }
    void setUserObject(std::any data) { udata_ = std::move(data); }
    const std::any& getUserObject() const { return udata_; }
    QString toString() const { return getTitle(); }

private:
    int id_;
    bool systemNode_;
    QString title_;
    QString description_;
    QPointer<QWidget> client_;
    QIcon icon_;
    QIcon openIcon_;
    Prefdeck* deck_ = nullptr;
    PreferenceNode* parent_ = nullptr;
    std::vector<std::unique_ptr<PreferenceNode>> children_;
    std::any udata_;
};

} // namespace panekit
