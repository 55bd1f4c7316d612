#include "panekit/panemanager.h"

#include "panekit/application.h"
#include "panekit/managedworkbook.h"
#include "panekit/tool.h"
#include "panekit/toolpane.h"
#include "ratiosplitter.h"
#include "toolfactory.h"
#include "workbooktool.h"

#include <QSplitter>

namespace panekit {

PaneManager::PaneManager(const PageDescription& page, BuildScope scope, Page* parentPage)
    : page_(page), scope_(std::move(scope)), parentPage_(parentPage) {}

PaneManager::~PaneManager() = default;

QWidget* PaneManager::buildPaneHierarchy() {
    if (page_.controller) {
        controller_ = createTool(*page_.controller, scope_, this, parentPage_);
        controller_->toolInstalled();
    }
    if (page_.clientPane)
        root_ = buildPane(*page_.clientPane, nullptr);
    // Links between the panes are made here once link events exist.
    return root_;
}

QWidget* PaneManager::buildPane(const PaneDescription& description, QWidget* parent) {
    if (const LeafPaneDescription* leaf = description.asLeaf()) {
        std::unique_ptr<Tool> tool = createTool(*leaf, scope_, this, parentPage_);
        Tool* raw = tool.get();
        auto* pane = new ToolPane(std::move(tool), *leaf, parent);
        panes_.push_back(pane);
        if (leaf->state == LeafPaneDescription::State::HIDDEN)
            pane->hide();
        else if (leaf->state == LeafPaneDescription::State::MINIMIZED)
            pane->setMinimized(true);
        raw->paneInstalled();
        raw->toolInstalled();
        return pane;
    }
    auto* splitter = new RatioSplitter(
        description.mode == PaneDescription::Mode::SPLIT_VERTICAL ? Qt::Vertical : Qt::Horizontal,
        parent);
    QList<int> ratios;
    for (const auto& child : description.panes) {
        splitter->addWidget(buildPane(*child, splitter));
        ratios << child->ratio;
    }
    splitter->setRatios(ratios);
    return splitter;
}

ToolPane* PaneManager::findPane(const QString& paneName) const {
    for (ToolPane* pane : panes_)
        if (pane->getName() == paneName)
            return pane;
    return nullptr;
}

QSplitter* PaneManager::getSplitter() const {
    return qobject_cast<QSplitter*>(root_);
}

void PaneManager::activateAll() {
    if (controller_)
        controller_->toolActive();
    for (ToolPane* pane : panes_)
        pane->getTool()->toolActive();
}

bool PaneManager::askAll(bool (Tool::*question)()) {
    if (controller_ && !((*controller_).*question)())
        return false;
    for (ToolPane* pane : panes_) {
        if (!(pane->getTool()->*question)())
            return false;
    }
    return true;
}

bool PaneManager::windowClosing() {
    return askAll(&Tool::windowClosing);
}

bool PaneManager::applicationExiting() {
    return askAll(&Tool::applicationExiting);
}

void PaneManager::uninstallAll() {
    if (uninstalled_)
        return;
    uninstalled_ = true;
    if (controller_)
        controller_->toolUninstalled();
    for (ToolPane* pane : panes_) {
        pane->getTool()->toolUninstalled();
        pane->getTool()->paneUninstalled();
    }
}

void PaneManager::applyToAllTools(const std::function<void(Tool&)>& apply) {
    if (controller_)
        apply(*controller_);
    for (ToolPane* pane : panes_) {
        Tool* tool = pane->getTool();
        apply(*tool);
        if (auto* holder = qobject_cast<WorkbookTool*>(tool); holder && holder->workbook())
            holder->workbook()->applyToAllTools(apply);
    }
}

} // namespace panekit
