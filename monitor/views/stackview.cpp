#include "views/stackview.h"

#include "core/record.h"
#include "core/states.h"
#include "views/commonviewcomponent.h"
#include "views/commonviewcomponenthighlighter.h"
#include "views/filedisplayinfo.h"
#include "views/stackviewcomponentinputcontroller.h"

#include <QScrollArea>

namespace tracewin {

StackView::StackView() {
    onLinkEvent<StartupEvent>(&StackView::handleStartup);
    onLinkEvent<HtmlTagEvent>(&StackView::handleHtmlTag);
    onLinkEvent<SwitchJspFileEvent>(&StackView::handleSwitchJspFile);
    onLinkEvent<StepEvent>(&StackView::handleStep);
    onLinkEvent<ChangeCurrentStateEvent>(&StackView::handleChangeCurrentState);
    onLinkEvent<UpdateModelStateEvent>(&StackView::handleUpdateModelState);
}

StackView::~StackView() {
    if (model_)
        model_->setTool(nullptr);
}

QStringList StackView::getLinkEventNames() const {
    return {HighlightTagEvent::kindKey(), ResumeEvent::kindKey(), ExitEvent::kindKey()};
}

StackModel& StackView::model() const {
    StackModel& m = resolveModel(model_, ownModel_);
    m.setTool(const_cast<StackView*>(this));
    return m;
}

void StackView::toolInstalled() {
    CommonView::toolInstalled();
    setTitle(QStringLiteral("HTML Tags  "));
}

CommonViewComponent* StackView::createCanvas() {
    canvas = newHiddenCanvas(false);
    canvas->setInputController(std::make_unique<StackViewComponentInputController>(*canvas, *this));
    return canvas;
}

void StackView::showStack() {
    if (!canvas)
        return;
    model().takeFirstChangedLine();
    canvas->setNewLines(&model().getLines());
    canvas->resize(canvas->sizeHint());
    if (model().lineCount() > 0)
        canvas->makeLineVisible(model().lineCount());
}

void StackView::selectLine(int index) {
    const HtmlTagStack::Entry* entry = model().getHtmlTagInfo(index);
    if (!entry)
        return;
    if (canvas) {
        const int line = index + 1;
        canvas->highlight(line, 1, line, std::max(1, model().getLines()[index]->length()));
    }
    fire<HighlightTagEvent>(entry->pos);
}

void StackView::handleStartup(const StartupEvent& e) {
    model().saveStackCanvas(curFileIdStr.toInt(), canvas, this);
    const Record* record = e.itemAs<Record>();
    if (record && *record && (*record)->getFileIdStr())
        curFileIdStr = QString::fromStdString(*(*record)->getFileIdStr());
    model().startFile(curFileIdStr.toInt());
    createCanvas();
    showStack();
    setClient(canvas);
}

void StackView::handleHtmlTag(const HtmlTagEvent& e) {
    const HtmlTagPosition* position = e.itemAs<HtmlTagPosition>();
    if (!position)
        return;
    if (!canvas) {
        createCanvas();
        setClient(canvas);
    }
    model().handleTag(e.getName(), *position);
    // Only the top of the stack changed: the rest keeps its layout.
    canvas->linesChangedFrom(model().takeFirstChangedLine());
    scheduleScrollToTop();
}

void StackView::scheduleScrollToTop() {
    if (scrollPending_)
        return;
    scrollPending_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            scrollPending_ = false;
            if (canvas && model().lineCount() > 0)
                canvas->makeLineVisible(model().lineCount());
        },
        Qt::QueuedConnection);
}

void StackView::handleSwitchJspFile(const SwitchJspFileEvent& e) {
    const int* id = e.itemAs<int>();
    if (!id)
        return;
    model().saveStackCanvas(curFileIdStr.toInt(), canvas, this);
    FileDisplayInfo& info = model().fileDisplayStore().retrieveFileDisplayInfo(*id);
    curFileIdStr = QString::number(*id);
    canvas = qobject_cast<CommonViewComponent*>(info.getStackCanvas());
    model().selectFile(*id);
    if (const auto& snapshot = info.getStackCommonModelViewInfo())
        restoreCanvas(*snapshot);
    showStack();
    setClient(canvas);
    getScrollPane()->update();
}

void StackView::handleStep(const StepEvent&) {
    model().getStates().setCurrentState(States::STEP);
}

void StackView::handleChangeCurrentState(const ChangeCurrentStateEvent& e) {
    if (const int* state = e.itemAs<int>())
        model().getStates().setCurrentState(*state);
}

void StackView::handleUpdateModelState(const UpdateModelStateEvent& e) {
    if (e.getName() == QLatin1String("Stack"))
        model().getStates().setCurrentState(States::STEP);
}

void StackView::showStatus(const std::string& message) {
    setStatusLineMsg(QString::fromStdString(message));
}

void StackView::highlightTag(const std::optional<HtmlTagPosition>& position) {
    fire<HighlightTagEvent>(position ? std::any(*position) : std::any());
}

} // namespace tracewin
