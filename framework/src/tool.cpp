#include "panekit/tool.h"

#include "panekit/application.h"
#include "panekit/browserframe.h"
#include "panekit/managedworkbook.h"
#include "panekit/panekitcontext.h"
#include "panekit/toolpane.h"

#include <QGuiApplication>
#include <QWidget>

namespace panekit {

Tool::Tool() = default;

Tool::~Tool() {
    if (Application* app = Application::findApplication(appKey_))
        app->removeTool(this);
}

void Tool::setParentFrame(BrowserFrame* frame) {
    parentFrame_ = frame;
}

BrowserFrame* Tool::getParentFrame() const {
    return parentFrame_;
}

void Tool::setParentContext(PanekitContext* context) {
    parentContext_ = context;
}

PanekitContext* Tool::getParentContext() const {
    return parentContext_;
}

void Tool::setManagedWorkbook(ManagedWorkbook* workbook) {
    workbook_ = workbook;
}

ManagedWorkbook* Tool::getManagedWorkbook() const {
    return workbook_;
}

void Tool::setMinor(ManagedWorkbook* minor) {
    minor_ = minor;
}

ManagedWorkbook* Tool::getMinor() const {
    return minor_;
}

void Tool::setPane(ToolPane* p) {
    pane = p;
}

ToolPane* Tool::getPane() const {
    return pane;
}

Application* Tool::getApplication() const {
    return Application::getApplication(appKey_);
}

QString Tool::getViewName() const {
    return lpaned_ ? lpaned_->name : name_;
}

QVariant Tool::getParameter(const QString& name) const {
    return lpaned_ ? lpaned_->params.value(name) : QVariant();
}

QStringList Tool::getParameterNames() const {
    return lpaned_ ? lpaned_->params.keys() : QStringList();
}

AbstractModel* Tool::getModel() const {
    Application* app = getApplication();
    if (lpaned_ && lpaned_->model)
        return app->getModelInstance(*lpaned_->model);
    return app->getDefaultModel();
}

AbstractModel* Tool::getDefaultModel() const {
    return getApplication()->getDefaultModel();
}

void Tool::setTitle(const QString& title) {
    title_ = title;
    if (pane)
        pane->setTitle(getTitle());
}

QString Tool::getTitle() const {
    if (!title_.isEmpty())
        return title_;
    const QString fromParams = getParameter(QStringLiteral("title")).toString();
    return fromParams.isEmpty() ? name_ : fromParams;
}

void Tool::setTitleIcon(const QIcon& icon) {
    titleIcon_ = icon;
    if (pane)
        pane->setTitleIcon(icon);
}

bool Tool::isShowing() const {
    const QWidget* view = pane ? pane->getClient() : nullptr;
    return view && view->isVisible();
}

void Tool::setTitleBarVisible(bool visible) {
    titleVisible_ = visible;
    if (pane)
        pane->setTitleBarVisible(visible);
}

void Tool::setLinkButtonVisible(bool visible) {
    linkButtonVisible_ = visible;
    if (pane)
        pane->setLinkButtonVisible(visible);
}

void Tool::setMinimizeButtonVisible(bool visible) {
    mvisible_ = visible;
    if (pane)
        pane->setMinimizeButtonVisible(visible);
}

void Tool::setViewButtonVisible(bool visible) {
    vvisible_ = visible;
    if (pane)
        pane->setViewButtonVisible(visible);
}

void Tool::setBorderVisible(bool visible) {
    borderVisible_ = visible;
    if (pane)
        pane->setBorderVisible(visible);
}

void Tool::setBusy(bool busy) {
    busy_ = busy;
    if (QWidget* view = pane ? pane->getClient() : nullptr) {
        if (busy)
            view->setCursor(Qt::WaitCursor);
        else
            view->unsetCursor();
    }
}

} // namespace panekit
