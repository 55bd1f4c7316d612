#pragma once

#include <QDialog>
#include <QHash>
#include <any>
#include <memory>
#include <vector>

class QDialogButtonBox;
class QLabel;
class QStackedWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace panekit {

class PreferenceNode;

// A preferences dialog: a tree of pages on the left, the selected page under its title and
// description on the right, and OK, Cancel and Help. A page's component is built the first
// time it is shown; OK saves every page that was shown (children before their parent, in
// tree order); Cancel or closing the window saves nothing.
class Prefdeck : public QDialog {
    Q_OBJECT

public:
    explicit Prefdeck(QWidget* parent, const QString& title = {});
    ~Prefdeck() override;

    // Top-level pages, or pages under parent; the dialog (or parent) owns them.
    PreferenceNode* addPreferenceNode(std::unique_ptr<PreferenceNode> node);
    PreferenceNode* addPreferenceNode(PreferenceNode* parent, std::unique_ptr<PreferenceNode> node);
    std::unique_ptr<PreferenceNode> removePreferenceNode(PreferenceNode* node);
    std::unique_ptr<PreferenceNode> removePreferenceNode(PreferenceNode* parent,
                                                         PreferenceNode* node);
    std::vector<PreferenceNode*> getPreferenceNodes() const;

    // What the pages display and save (for the framework's pages: Profile*); system pages
    // get the system settings.
    void setSettings(std::any settings) { settings_ = std::move(settings); }
    std::any& getSettings() { return settings_; }
    void setSystemSettings(std::any settings) { systemSettings_ = std::move(settings); }
    std::any& getSystemSettings() { return systemSettings_; }

    // Shows the first page, centred over the parent (kept on the screen); modal: waits.
    void showCentered(bool modal = false);
    bool isCanceled() const { return canceled_; }
    void setClosedWhenDone(bool close) { closeWhenDone_ = close; }
    bool isClosedWhenDone() const { return closeWhenDone_; }

    // Builds the page on first show, shows its card, title and description, selects it.
    void flipToNode(PreferenceNode* node);
    void setNodeSelected(PreferenceNode* node);
    PreferenceNode* getSelectedNode() const { return prevNode_; }
    // Saves node's subtree (every page when null), children before parents.
    void applySettings(PreferenceNode* node = nullptr);
    void applySettingsTo(PreferenceNode* node);
    void buildNodeClient(PreferenceNode* node);
    void removeNodeClient(PreferenceNode* node);

    QTreeWidget* getTree() const { return tree_; }
    QDialogButtonBox* getButtons() const { return buttons_; }

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;

private:
    QTreeWidgetItem* itemFor(const PreferenceNode* node) const;
    void addItems(PreferenceNode* node, QTreeWidgetItem* parentItem);
    void forgetItems(PreferenceNode* node);
    void ok();
    void help();

    std::vector<std::unique_ptr<PreferenceNode>> roots_;
    QHash<const PreferenceNode*, QTreeWidgetItem*> items_;
    QTreeWidget* tree_;
    QStackedWidget* cards_;
    QLabel* title_;
    QLabel* description_;
    QDialogButtonBox* buttons_;
    std::any settings_;
    std::any systemSettings_;
    bool canceled_ = true;
    bool closeWhenDone_ = true;
    PreferenceNode* prevNode_ = nullptr;
};

} // namespace panekit
