#include "panekit/managedworkbook.h"

#include "panekit/pagewidget.h"
#include "panekit/tool.h"
#include "toolfactory.h"

namespace panekit {

ManagedWorkbook::ManagedWorkbook(const WorkbookDescription& description, BuildScope scope,
                                 QWidget* parent)
    : QTabWidget(parent), name_(description.name), scope_(std::move(scope)) {
    scope_.openWorkbooks << name_;
    build(description.controller.get(), description.pages);
}

ManagedWorkbook::ManagedWorkbook(const SectionDescription& section, BuildScope scope,
                                 QWidget* parent)
    : QTabWidget(parent), name_(section.name), scope_(std::move(scope)) {
    build(section.controller.get(), section.pages);
}

ManagedWorkbook::~ManagedWorkbook() = default;

void ManagedWorkbook::build(const LeafPaneDescription* controller,
                            const std::vector<PageReference>& pages) {
    setObjectName(QStringLiteral("workbook:") + name_);
    setDocumentMode(true);
    if (controller) {
        controller_ = createTool(*controller, scope_, nullptr, nullptr);
        controller_->setManagedWorkbook(this);
        controller_->toolInstalled();
    }
    for (const PageReference& ref : pages) {
        auto* page = new PageWidget(*ref.page, scope_, &ref);
        const int index = addTab(page, page->getIcon(), page->getTitle());
        Q_UNUSED(index);
        page->applyToAllTools([this](Tool& tool) {
            if (!tool.getManagedWorkbook())
                tool.setManagedWorkbook(this);
        });
        connect(page, &PageWidget::appearanceChanged, this, [this](PageWidget* p) {
            const int at = indexOf(p);
            if (at < 0)
                return;
            setTabText(at, p->getTitle());
            setTabIcon(at, p->getIcon());
            setTabToolTip(at, p->getCaption());
            setTabEnabled(at, p->isEnabled());
        });
    }
    connect(this, &QTabWidget::currentChanged, this, &ManagedWorkbook::pageSelected);
}

PageWidget* ManagedWorkbook::getPage(int index) const {
    return qobject_cast<PageWidget*>(widget(index));
}

PageWidget* ManagedWorkbook::findPage(const QString& name) const {
    for (int i = 0; i < count(); ++i) {
        if (PageWidget* page = getPage(i); page && page->getName() == name)
            return page;
    }
    return nullptr;
}

PageWidget* ManagedWorkbook::getCurrentPage() const {
    return qobject_cast<PageWidget*>(currentWidget());
}

bool ManagedWorkbook::turnToPage(const QString& name) {
    PageWidget* page = findPage(name);
    if (page)
        setCurrentWidget(page);
    return page != nullptr;
}

void ManagedWorkbook::setHolder(Tool* holder) {
    holder_ = holder;
}

Tool* ManagedWorkbook::getHolder() const {
    return holder_;
}

ManagedWorkbook* ManagedWorkbook::getEnclosingWorkbook() const {
    for (QWidget* w = parentWidget(); w; w = w->parentWidget())
        if (auto* book = qobject_cast<ManagedWorkbook*>(w))
            return book;
    return nullptr;
}

void ManagedWorkbook::fireLinkEvent(const LinkEventPtr& event) {
    if (controller_ && event)
        controller_->linkChanged(event);
}

void ManagedWorkbook::fireModelEvent(const LinkEventPtr& event) {
    if (!event)
        return;
    if (controller_) {
        controller_->linkChanged(event);
        controller_->linkChangedGeneric(event);
    }
    for (int i = 0; i < count(); ++i)
        getPage(i)->fireModelEvent(event);
}

void ManagedWorkbook::pageSelected(int index) {
    if (PageWidget* page = getPage(index))
        page->applyToAllTools([](Tool& tool) { tool.parentPageSelected(); });
}

void ManagedWorkbook::activateAll() {
    if (controller_)
        controller_->toolActive();
    for (int i = 0; i < count(); ++i)
        getPage(i)->activateAll();
}

bool ManagedWorkbook::askAll(bool (Tool::*question)(), bool (PageWidget::*pageQuestion)()) {
    if (controller_ && !((*controller_).*question)())
        return false;
    for (int i = 0; i < count(); ++i) {
        if (!(getPage(i)->*pageQuestion)())
            return false;
    }
    return true;
}

bool ManagedWorkbook::windowClosing() {
    return askAll(&Tool::windowClosing, &PageWidget::windowClosing);
}

bool ManagedWorkbook::applicationExiting() {
    return askAll(&Tool::applicationExiting, &PageWidget::applicationExiting);
}

void ManagedWorkbook::uninstallAll() {
    if (uninstalled_)
        return;
    uninstalled_ = true;
    if (controller_)
        controller_->toolUninstalled();
    for (int i = 0; i < count(); ++i)
        getPage(i)->uninstallAll();
}

void ManagedWorkbook::applyToAllTools(const std::function<void(Tool&)>& apply) {
    if (controller_)
        apply(*controller_);
    for (int i = 0; i < count(); ++i)
        getPage(i)->applyToAllTools(apply);
}

} // namespace panekit
