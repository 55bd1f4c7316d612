#include "panekit/toolbarmanager.h"

#include "panekit/action.h"
#include "panekit/standardcontext.h"
#include "panekit/tool.h"

#include <QAction>
#include <QMainWindow>
#include <QToolBar>
#include <QToolButton>

namespace panekit {
namespace {

Qt::ToolBarArea areaOf(ToolBarContribution::Location location) {
    switch (location) {
    case ToolBarContribution::LEFT:
        return Qt::LeftToolBarArea;
    case ToolBarContribution::BOTTOM:
        return Qt::BottomToolBarArea;
    case ToolBarContribution::RIGHT:
        return Qt::RightToolBarArea;
    case ToolBarContribution::TOP:
    case ToolBarContribution::FLOATING: // docked at the top; the user may float it
        break;
    }
    return Qt::TopToolBarArea;
}

QString toolNameOf(const ToolBarContribution* c) {
    return c->getTool() ? c->getTool()->getName() : c->getKey();
}

} // namespace

ToolBarManager::ToolBarManager(StandardContext* context) : QObject(context), context_(context) {}

ToolBarManager::~ToolBarManager() {
    for (Bar& b : bars_)
        delete b.widget.data();
}

void ToolBarManager::build(const std::vector<ToolBarContribution*>& contributions) {
    for (const QPointer<Action>& a : grouped_)
        if (a)
            a->removeAllSharedActions();
    grouped_.clear();
    QMainWindow* root = context_->getRootPane();
    for (Bar& b : bars_) {
        if (b.widget) {
            if (root)
                root->removeToolBar(b.widget);
            b.widget->deleteLater();
        }
    }
    bars_.clear();
    if (!root)
        return;

    // Bundles by tool name, in order of first appearance.
    std::vector<std::vector<ToolBarContribution*>> bundles;
    for (ToolBarContribution* c : contributions) {
        auto same = std::find_if(bundles.begin(), bundles.end(), [c](const auto& b) {
            return toolNameOf(b.front()) == toolNameOf(c);
        });
        if (same == bundles.end())
            bundles.push_back({c});
        else
            same->push_back(c);
    }
    for (const auto& bundle : bundles) {
        ToolBarContribution* leader = bundle.front();
        // Members' buttons join the leader's buttons of the same command.
        for (size_t m = 1; m < bundle.size(); ++m) {
            for (const auto& component : bundle[m]->getItems()) {
                auto* twin = dynamic_cast<ToolBarButtonData*>(component.get());
                auto* shown = twin ? dynamic_cast<ToolBarButtonData*>(
                                         leader->findComponent(twin->getActionCommand()))
                                   : nullptr;
                if (shown && shown->getAction() && twin->getAction() &&
                    shown->getAction() != twin->getAction()) {
                    shown->getAction()->addSharedAction(twin->getAction());
                    grouped_.push_back(shown->getAction());
                }
            }
        }
        auto* bar = new QToolBar(toolNameOf(leader), root);
        bar->setObjectName(QStringLiteral("toolbar:") + leader->getKey());
        bar->setFloatable(true);
        const ToolBarContribution::Mode mode = leader->getMode();
        for (const auto& component : leader->getItems()) {
            if (!component->isVisible())
                continue;
            if (component->isLeader() && !bar->actions().isEmpty())
                bar->addSeparator();
            if (QWidget* w = component->getWidget()) {
                bar->addWidget(w);
                continue;
            }
            auto* data = dynamic_cast<ToolBarButtonData*>(component.get());
            if (!data)
                continue;
            auto* qa = new QAction(data->getIcon(), data->getText(), bar);
            qa->setObjectName(data->getActionCommand());
            qa->setToolTip(data->getTooltip().isEmpty() ? data->getText() : data->getTooltip());
            auto* button = new QToolButton(bar);
            button->setDefaultAction(qa);
            button->setFocusPolicy(Qt::NoFocus); // pressing a button leaves the pane in focus
            button->setAutoRaise(leader->getBorderStyle() != ToolBarContribution::BORDER_ALWAYS);
            Qt::ToolButtonStyle style = Qt::ToolButtonIconOnly;
            if (mode == ToolBarContribution::TEXT || data->getIcon().isNull())
                style = Qt::ToolButtonTextOnly;
            else if (mode == ToolBarContribution::PICTURES_TEXT || data->isShowText())
                style = Qt::ToolButtonTextBesideIcon;
            button->setToolButtonStyle(style);
            bar->addWidget(button);
            if (Action* action = data->getAction())
                action->addEmitter(qa, data->getActionCommand());
            else
                qa->setEnabled(false);
        }
        root->addToolBar(areaOf(leader->getLocation()), bar);
        Bar entry{bar, toolNameOf(leader), leader->getShowPolicy()};
        Tool* focus = Tool::getToolInFocus();
        applyPolicy(entry, focus && focus->getName() == entry.toolName);
        bars_.push_back(entry);
    }
}

void ToolBarManager::applyPolicy(Bar& bar, bool active) {
    if (!bar.widget)
        return;
    switch (bar.policy) {
    case ToolBarContribution::SHOW_NEVER:
        bar.widget->setVisible(false);
        break;
    case ToolBarContribution::SHOW_ALWAYS:
        bar.widget->setVisible(true);
        break;
    case ToolBarContribution::SHOW_FOCUS:
        bar.widget->setVisible(active);
        break;
    case ToolBarContribution::SHOW_FOCUS_ENABLE:
        bar.widget->setVisible(true);
        bar.widget->setEnabled(active);
        break;
    }
}

void ToolBarManager::setToolBarActiveFor(const QString& toolName, bool active) {
    for (Bar& b : bars_)
        if (b.toolName == toolName)
            applyPolicy(b, active);
}

void ToolBarManager::focusMovedTo(Tool* tool) {
    for (Bar& b : bars_)
        applyPolicy(b, tool && tool->getName() == b.toolName);
}

QList<QToolBar*> ToolBarManager::getToolBars() const {
    QList<QToolBar*> out;
    for (const Bar& b : bars_)
        if (b.widget)
            out.append(b.widget);
    return out;
}

QToolBar* ToolBarManager::findToolBar(const QString& toolName) const {
    for (const Bar& b : bars_)
        if (b.toolName == toolName)
            return b.widget;
    return nullptr;
}

} // namespace panekit
