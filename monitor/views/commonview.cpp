#include "views/commonview.h"

#include "core/breakpoints.h"
#include "core/debugsession.h"
#include "core/states.h"
#include "panekit/browserframe.h"
#include "tracehook/jspdebugdynamicpathfactory.h"
#include "tracehook/jspresource.h"
#include "tracehook/tracer.h"
#include "views/commonviewcomponent.h"
#include "views/commonviewcomponentmarks.h"
#include "views/monitorevents.h"
#include "views/statusbarline.h"

#include <QApplication>
#include <QDir>
#include <QPalette>
#include <QScrollArea>
#include <QStatusBar>

namespace tracewin {

CommonView::CommonView() : spane(new SourcePane) {
    spane->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    spane->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The execution states announced to every view; the JSP view answers Step itself.
    onLinkEvent<StepEvent>(&CommonView::handleStep);
    onLinkEvent<ChangeCurrentStateEvent>(&CommonView::handleChangeCurrentState);
    onLinkEvent<UpdateModelStateEvent>(&CommonView::handleUpdateModelState);
}

DebugSession& CommonView::session() const {
    if (!session_)
        session_ = std::make_shared<DebugSession>();
    return *session_;
}

void CommonView::handleStep(const StepEvent&) {
    session().setCurrentState(States::STEP);
}

void CommonView::handleChangeCurrentState(const ChangeCurrentStateEvent& e) {
    if (const int* state = e.itemAs<int>())
        session().setCurrentState(*state);
}

void CommonView::handleUpdateModelState(const UpdateModelStateEvent& e) {
    const QString name = modelStateName();
    if (!name.isEmpty() && e.getName() == name)
        session().setCurrentState(States::STEP);
}

// ---- the files of the request ----

void CommonView::switchesDisplaysWithFiles() {
    onLinkEvent<SwitchJspFileEvent>(&CommonView::handleSwitchJspFile);
}

void CommonView::selectAndShow(const TextSpan& span) {
    if (!canvas)
        return;
    static const QColor kSelection(0xff, 0xe0, 0x82);
    canvas->getMarks().set(std::make_shared<const TextSpans>(TextSpans{span}), kSelection);
    canvas->scrollLineToVisible(span.start.line, span.start.pos, span.end.line, span.end.pos);
}

const TextSpans* CommonView::selection() const {
    return canvas ? canvas->getMarks().spans() : nullptr;
}

void CommonView::keepCurrentFile() {
    files_[curFileId()] = FileDisplay{canvas, std::make_shared<CommonModelViewInfo>(
                                                  sourceModel(), this, session().currentState())};
}

void CommonView::beginFile(const std::optional<std::string>& fileIdStr) {
    keepCurrentFile();
    if (fileIdStr)
        curFileIdStr = QString::fromStdString(*fileIdStr);
}

void CommonView::restoreFile(int, const CommonModelViewInfo* snapshot) {
    if (!snapshot)
        return;
    sourceModel().restoreCanvas(*snapshot);
    restoreCanvas(*snapshot);
}

void CommonView::handleSwitchJspFile(const SwitchJspFileEvent& e) {
    const int* id = e.itemAs<int>();
    if (!id)
        return;
    keepCurrentFile();
    curFileIdStr = QString::number(*id);
    const FileDisplay& entered = files_[*id];
    canvas = entered.canvas;
    restoreFile(*id, entered.snapshot.get());
    if (canvas)
        canvas->showLines(&sourceModel().lineList());
    setClient(canvas);
    if (canvas)
        canvas->update();
    fileShown();
    getScrollPane()->updateGeometry();
    getScrollPane()->update();
    tracehook::Tracer::trace(this, "handleLinkEvent",
                             "SwitchJspFileEvent, file " + std::to_string(*id) +
                                 ", state: " + std::to_string(session().currentState()));
}

// The scroll area holds every component of this view; it goes with the view, whether or
// not a pane took it in.
CommonView::~CommonView() {
    delete spane.data();
}

QWidget* CommonView::getView() {
    return spane;
}

void CommonView::toolInstalled() {
    setLinkButtonVisible(false);
    setMinimizeButtonVisible(false);
    setViewButtonVisible(false);
    if (!statusLine_) {
        if (panekit::BrowserFrame* frame = getParentFrame())
            statusLine_ = std::make_shared<StatusBarLine>(frame);
    }
}

void CommonView::keep(QWidget* component) {
    if (!component || !spane)
        return;
    component->hide();
    component->setParent(spane);
}

void CommonView::setClient(QWidget* component) {
    if (!spane || spane->widget() == component)
        return;
    keep(spane->takeWidget());
    if (!component)
        return;
    spane->setWidget(component);
    component->show();
}

void CommonView::setStatusLineMsg(const QString& message) {
    if (statusLine_)
        statusLine_->setMessage(message);
}

QString CommonView::statusLineMessage() const {
    return statusLine_ ? statusLine_->getMessage() : QString();
}

void CommonView::restoreCanvas(const CommonModelViewInfo& info) {
    focus = info.focus;
    currentViewLine = info.currentViewLine;
}

void CommonView::sendBreakpointInfo(int line, bool isSet) {
    // A cleared breakpoint takes its condition along: variables may be wanted no more.
    if (!isSet)
        session().updateVariablesWanted();
    fire<SetBreakpointEvent>(BreakpointInfo(line, isSet));
}

void CommonView::changeButtonStates(bool step, bool run, bool fastForward, bool terminate,
                                    bool prevErr, bool nextErr) {
    fire<ChangeButtonStateEvent>(ButtonStates(step, run, fastForward, terminate, prevErr, nextErr));
}

QString CommonView::labelText(const char* key) {
    return QString::fromStdString(tracehook::JspResource::getToolString(key));
}

QString CommonView::iconPath(const QString& fileName) {
    const std::optional<std::string> install =
        tracehook::JspDebugDynamicPathFactory::getMonitorInstallPath();
    const QString sep = QDir::separator();
    QString path = install ? QString::fromStdString(*install) : QString();
    for (const char* dir : {"com", "zet", "kwo", "jsp", "ui"})
        path += sep + QString::fromLatin1(dir);
    return path + sep + fileName;
}

void CommonView::installTitle(const char* labelKey, const QString& iconFile,
                              const char* traceText) {
    setTitle(labelText(labelKey) + QStringLiteral("  "));
    if (iconFile.isEmpty())
        return;
    const QString path = iconPath(iconFile);
    tracehook::Tracer::trace(this, "toolInstalled", traceText + path.toStdString());
    setTitleIcon(QIcon(path));
}

void CommonView::setCanvasBackground(CommonViewComponent& canvas) {
    // The style's counterpart of the tree background: the base colour of item views.
    canvas.setBackground(QApplication::palette().color(QPalette::Base));
    canvas.update();
}

void CommonView::showAsSource(CommonViewComponent& canvas, SourceLanguage language) {
    canvas.setLanguage(language);
    canvas.setLineNumbersShown(true);
    canvas.setLeftMarginColor(QColor(0xf0, 0xf0, 0xf0));
    canvas.setLineNumberColor(QColor(0x99, 0x99, 0x99));
}

CommonViewComponent* CommonView::newHiddenCanvas(bool withBreakpointMargin) {
    auto* component = new CommonViewComponent(this, withBreakpointMargin, getScrollPane());
    component->hide();
    setCanvasBackground(*component);
    return component;
}

} // namespace tracewin
