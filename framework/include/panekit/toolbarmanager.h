#pragma once

#include "panekit/toolbarcontribution.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <vector>

class QToolBar;

namespace panekit {

class Action;
class StandardContext;
class Tool;

// The tool bars of one window: one per bundle of tool-bar contributions (contributions of
// tools with the same name form one bundle; the first is shown and the others' actions join
// its buttons' actions as shared twins, so a focus action runs in the member in focus),
// docked by the leader's location, shown by its policy, styled by its mode.
class ToolBarManager : public QObject {
    Q_OBJECT

public:
    explicit ToolBarManager(StandardContext* context);
    ~ToolBarManager() override;

    void build(const std::vector<ToolBarContribution*>& contributions);
    // Shows (or enables) the focus-policy bars of that tool name.
    void setToolBarActiveFor(const QString& toolName, bool active);
    // Makes the bars of the tool in focus active and all other focus bars inactive.
    void focusMovedTo(Tool* tool);
    QList<QToolBar*> getToolBars() const;
    QToolBar* findToolBar(const QString& toolName) const;

private:
    struct Bar {
        QPointer<QToolBar> widget;
        QString toolName;
        ToolBarContribution::Policy policy;
    };
    void applyPolicy(Bar& bar, bool active);

    StandardContext* context_;
    std::vector<Bar> bars_;
    std::vector<QPointer<Action>> grouped_;
};

} // namespace panekit
