#pragma once

#include "panekit/configuration.h"

#include <QFrame>
#include <QIcon>
#include <memory>

class QLabel;
class QToolButton;

namespace panekit {

class Tool;

// A pane of a page: a title bar (icon, title, and link, minimize and view buttons that a
// tool can hide) above the view of the tool it owns.
class ToolPane : public QFrame {
    Q_OBJECT

public:
    ToolPane(std::unique_ptr<Tool> tool, const LeafPaneDescription& description,
             QWidget* parent = nullptr);
    ~ToolPane() override;

    Tool* getTool() const { return tool_.get(); }
    const LeafPaneDescription& getDescription() const { return description_; }
    // The pane's id in its page.
    QString getName() const { return description_.name; }
    QWidget* getClient() const { return client_; }

    void setTitle(const QString& title);
    QString getTitle() const;
    void setTitleIcon(const QIcon& icon);
    void setTitleBarVisible(bool visible);
    bool isTitleBarVisible() const;
    void setLinkButtonVisible(bool visible);
    void setMinimizeButtonVisible(bool visible);
    void setViewButtonVisible(bool visible);
    void setBorderVisible(bool visible);

    // Whether the pane takes the events of its link sources (the user can switch it off).
    bool isLinked() const { return linked_; }
    void setLinked(bool linked);
    // A minimised pane shows its title bar only.
    bool isMinimized() const { return minimized_; }
    void setMinimized(bool minimized);

signals:
    void linkedChanged(bool linked);
    void minimizedChanged(bool minimized);

private:
    std::unique_ptr<Tool> tool_;
    const LeafPaneDescription& description_;
    QWidget* titleBar_ = nullptr;
    QLabel* iconLabel_ = nullptr;
    QLabel* titleLabel_ = nullptr;
    QToolButton* linkButton_ = nullptr;
    QToolButton* minimizeButton_ = nullptr;
    QToolButton* viewButton_ = nullptr;
    QWidget* client_ = nullptr;
    bool linked_ = true;
    bool minimized_ = false;
};

} // namespace panekit
