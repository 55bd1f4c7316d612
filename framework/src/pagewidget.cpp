#include "panekit/pagewidget.h"

#include "panekit/application.h"
#include "panekit/managedworkbook.h"
#include "panekit/panemanager.h"
#include "panekit/tool.h"
#include "panekit/toolpane.h"

#include <QTabWidget>
#include <QVBoxLayout>

namespace panekit {

PageWidget::PageWidget(const PageDescription& description, BuildScope scope,
                       const PageReference* reference, QWidget* parent)
    : QWidget(parent), description_(description) {
    setObjectName(QStringLiteral("page:") + description.name);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    title_ = reference ? reference->effectiveTitle()
                       : (description.title.isEmpty() ? description.name : description.title);
    icon_ =
        scope.application->loadIcon(reference ? reference->effectiveImage() : description.image);
    if (description.isSection()) {
        minor_ =
            new ManagedWorkbook(static_cast<const SectionDescription&>(description), scope, this);
        layout->addWidget(minor_);
    } else {
        manager_ = std::make_unique<PaneManager>(description, scope, this);
        if (QWidget* root = manager_->buildPaneHierarchy())
            layout->addWidget(root);
    }
}

// The manager (and with it the controller) goes before the panes, which are child widgets.
PageWidget::~PageWidget() = default;

Tool* PageWidget::getController() const {
    if (manager_)
        return manager_->getController();
    return minor_ ? minor_->getController() : nullptr;
}

Tool* PageWidget::getInputTool() const {
    if (Tool* controller = getController())
        return controller;
    if (!manager_)
        return nullptr;
    for (ToolPane* pane : manager_->getPanes())
        if (pane->getDescription().inputPane)
            return pane->getTool();
    return nullptr;
}

void PageWidget::fireLinkEvent(const LinkEventPtr& event) {
    Tool* input = getInputTool();
    if (input && event) {
        input->linkChanged(event);
        input->linkChangedGeneric(event);
    }
}

void PageWidget::fireModelEvent(const LinkEventPtr& event) {
    if (manager_)
        manager_->fireModelEvent(event);
    else if (minor_)
        minor_->fireModelEvent(event);
}

void PageWidget::setTitle(const QString& title) {
    title_ = title;
    emit appearanceChanged(this);
}

void PageWidget::setCaption(const QString& caption) {
    caption_ = caption;
    emit appearanceChanged(this);
}

void PageWidget::setIcon(const QIcon& icon) {
    icon_ = icon;
    emit appearanceChanged(this);
}

void PageWidget::setImage(const QPixmap& image) {
    image_ = image;
    setIcon(QIcon(image));
}

void PageWidget::setEnabled(bool enabled) {
    QWidget::setEnabled(enabled);
    emit appearanceChanged(this);
}

bool PageWidget::isSelected() const {
    for (QWidget* w = parentWidget(); w; w = w->parentWidget()) {
        if (auto* tabs = qobject_cast<QTabWidget*>(w))
            return tabs->currentWidget() == this;
    }
    return true; // a page of its own frame is always the one shown
}

void PageWidget::activateAll() {
    if (manager_)
        manager_->activateAll();
    else if (minor_)
        minor_->activateAll();
}

bool PageWidget::windowClosing() {
    if (manager_)
        return manager_->windowClosing();
    return !minor_ || minor_->windowClosing();
}

bool PageWidget::applicationExiting() {
    if (manager_)
        return manager_->applicationExiting();
    return !minor_ || minor_->applicationExiting();
}

void PageWidget::uninstallAll() {
    if (manager_)
        manager_->uninstallAll();
    else if (minor_)
        minor_->uninstallAll();
}

void PageWidget::applyToAllTools(const std::function<void(Tool&)>& apply) {
    if (manager_)
        manager_->applyToAllTools(apply);
    else if (minor_)
        minor_->applyToAllTools(apply);
}

} // namespace panekit
