#include "panekit/panemanager.h"

#include "panekit/application.h"
#include "panekit/linkeventmulticaster.h"
#include "panekit/managedworkbook.h"
#include "panekit/pagewidget.h"
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
    linkPanes();
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

// ---- links ------------------------------------------------------------------------

Tool* PaneManager::findTool(const LeafPaneDescription* description) const {
    if (!description)
        return nullptr;
    for (ToolPane* pane : panes_)
        if (&pane->getDescription() == description)
            return pane->getTool();
    if (page_.controller.get() == description)
        return controller_.get();
    // A description of another page (never made by the parser): match by name.
    if (ToolPane* pane = findPane(description->name))
        return pane->getTool();
    if (page_.controller && page_.controller->name == description->name)
        return controller_.get();
    return nullptr;
}

void PaneManager::linkPanes() {
    for (ToolPane* pane : panes_)
        linkTarget(pane->getTool(), pane->getDescription());
    if (controller_)
        linkTarget(controller_.get(), *page_.controller);
}

void PaneManager::linkTarget(Tool* target, const LeafPaneDescription& description) {
    if (description.links.empty()) {
        if (description.focusLinking)
            addFocusPane(target);
        return;
    }
    for (const LeafPaneDescription* source : description.links) {
        if (Tool* sourceTool = findTool(source))
            linkSourceAndTargetTool(sourceTool, target);
    }
}

void PaneManager::linkSourceAndTargetTool(Tool* source, Tool* target) {
    if (!source || !target)
        return;
    const QStringList kinds = source->getLinkEventNames();
    if (kinds.isEmpty())
        return;
    if (auto* holder = qobject_cast<WorkbookTool*>(target)) {
        ManagedWorkbook* book = holder->workbook();
        PageWidget* current = book ? book->getCurrentPage() : nullptr;
        target = current ? current->getInputTool() : nullptr;
        if (!target)
            return;
    }
    for (const QString& kind : kinds) {
        if (target->hasLinkEventHandler(kind))
            source->addLinkListener(kind, target);
    }
    const QString catchAll = QString::fromLatin1(LinkEvent::linkEventClassName);
    if (target->hasLinkEventHandler(catchAll))
        source->addLinkListener(catchAll, target);
}

void PaneManager::rebuildLinksFrom(Tool* source) {
    const LeafPaneDescription* sourceDescription = nullptr;
    if (source == controller_.get())
        sourceDescription = page_.controller.get();
    else if (source && source->getPane() && findTool(&source->getPane()->getDescription()))
        sourceDescription = &source->getPane()->getDescription();
    if (!sourceDescription)
        return;
    auto relink = [&](Tool* target, const LeafPaneDescription& description) {
        for (const LeafPaneDescription* s : description.links)
            if (findTool(s) == source)
                linkSourceAndTargetTool(source, target);
    };
    for (ToolPane* pane : panes_)
        relink(pane->getTool(), pane->getDescription());
    if (controller_)
        relink(controller_.get(), *page_.controller);
}

void PaneManager::addFocusPane(Tool* tool) {
    const QString catchAll = QString::fromLatin1(LinkEvent::linkEventClassName);
    const auto& handlers = tool->getLinkListenerMethods();
    for (auto it = handlers.constBegin(); it != handlers.constEnd(); ++it) {
        if (it.key() == catchAll)
            genericFocusListener_ =
                LinkEventMulticaster::add(genericFocusListener_, tool->getLinkListenerHandle());
        else
            focusListeners_[it.key()] = LinkEventMulticaster::add(focusListeners_.value(it.key()),
                                                                  tool->getLinkListenerHandle());
    }
}

void PaneManager::fireEventToFocusPanes(const LinkEventPtr& event, const QString& key) {
    if (const std::shared_ptr<LinkListener> chain = focusListeners_.value(key))
        chain->linkChanged(event);
    if (const std::shared_ptr<LinkListener> generic = genericFocusListener_)
        generic->linkChangedGeneric(event);
}

void PaneManager::fireModelEvent(const LinkEventPtr& event) {
    if (controller_) {
        controller_->linkChanged(event);
        controller_->linkChangedGeneric(event);
    }
    for (ToolPane* pane : panes_) {
        Tool* tool = pane->getTool();
        if (auto* holder = qobject_cast<WorkbookTool*>(tool)) {
            if (ManagedWorkbook* book = holder->workbook())
                book->fireModelEvent(event);
            continue;
        }
        tool->linkChanged(event);
        tool->linkChangedGeneric(event);
    }
}

} // namespace panekit
