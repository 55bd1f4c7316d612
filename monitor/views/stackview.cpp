#include "views/stackview.h"

#include "core/record.h"
#include "views/commonviewcomponent.h"
#include "views/commonviewcomponenthighlighter.h"
#include "views/stackviewcomponentinputcontroller.h"

#include <QScrollArea>

namespace tracewin {

StackView::StackView() {
    scrollToTop_.setSingleShot(true);
    scrollToTop_.setInterval(0);
    connect(&scrollToTop_, &QTimer::timeout, this, [this] {
        if (canvas)
            showTop();
    });
    onLinkEvent<StartupEvent>(&StackView::handleStartup);
    onLinkEvent<HtmlTagEvent>(&StackView::handleHtmlTag);
    onLinkEvent<HtmlTagsEvent>(&StackView::handleHtmlTags);
    switchesDisplaysWithFiles();
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
    canvas->showLines(&model().lineList());
    showTop();
}

void StackView::showTop() {
    if (model().lineCount() > 0)
        canvas->makeLineVisible(model().lineCount());
}

void StackView::selectLine(int index) {
    const std::optional<HtmlTagStack::Entry> entry = model().getHtmlTagInfo(index);
    if (!entry)
        return;
    if (canvas) {
        const int line = index + 1;
        const auto length = model().lineList().text(static_cast<std::size_t>(index)).size();
        canvas->highlight(line, 1, line, std::max(1, static_cast<int>(length)));
    }
    fire<HighlightTagEvent>(entry->pos);
}

void StackView::handleStartup(const StartupEvent& e) {
    const Record* record = e.itemAs<Record>();
    beginFile(record && *record ? (*record)->getFileIdStr() : std::nullopt);
    model().startFile(curFileIdStr.toInt());
    createCanvas();
    showStack();
    setClient(canvas);
}

void StackView::handleHtmlTag(const HtmlTagEvent& e) {
    const HtmlTagPosition* position = e.itemAs<HtmlTagPosition>();
    if (!position)
        return;
    prepareForTags();
    model().handleTag(e.getName(), *position);
    followTags();
}

void StackView::handleHtmlTags(const HtmlTagsEvent& e) {
    const auto* tags = e.itemAs<std::shared_ptr<const HtmlTags>>();
    if (!tags || !*tags)
        return;
    prepareForTags();
    highlightType_ =
        e.getEventType() == kOutputFollowed ? kOutputFollowed : panekit::LinkEvent::NONE;
    model().handleTags(**tags);
    highlightType_ = panekit::LinkEvent::NONE;
    followTags();
}

void StackView::prepareForTags() {
    if (!canvas) {
        createCanvas();
        setClient(canvas);
    }
}

void StackView::followTags() {
    // Only the top of the stack changed: the rest keeps its layout.
    canvas->linesChangedFrom(model().takeFirstChangedLine());
    scheduleScrollToTop();
}

void StackView::scheduleScrollToTop() {
    if (!scrollToTop_.isActive())
        scrollToTop_.start();
}

void StackView::restoreFile(int fileId, const CommonModelViewInfo* snapshot) {
    model().selectFile(fileId);
    if (snapshot)
        restoreCanvas(*snapshot);
}

void StackView::showStatus(const std::string& message) {
    setStatusLineMsg(QString::fromStdString(message));
}

void StackView::highlightTag(const std::optional<HtmlTagPosition>& position) {
    fireLinkEvent(std::make_shared<HighlightTagEvent>(this, highlightType_, QString(),
                                                      position ? std::any(*position) : std::any()));
}

} // namespace tracewin
