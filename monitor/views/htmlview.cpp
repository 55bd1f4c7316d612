#include "views/htmlview.h"

#include "core/record.h"
#include "tracehook/jspsourceinfo.h"
#include "tracehook/tracer.h"
#include "views/commonviewcomponent.h"
#include "views/commonviewcomponenthighlighter.h"
#include "views/commonviewcomponentinputcontroller.h"
#include "views/commonviewcomponentlayoutmanager.h"
#include "views/commonviewcomponentmarks.h"

#include <QMouseEvent>
#include <QScrollArea>
#include <algorithm>

namespace tracewin {
namespace {
using tracehook::JspSourceInfo;
using tracehook::Tracer;

// The output written by the span about to run: a pale tint beneath the text.
const QColor kCurrentOutputColour(0xdc, 0xec, 0xfc);

// A click on the text announces the origin of the output under it.
class HtmlInputController final : public CommonViewComponentInputController {
public:
    HtmlInputController(CommonViewComponent& component, HtmlView& view)
        : CommonViewComponentInputController(component), view_(view) {}

protected:
    void mouseClicked(QMouseEvent& event) override {
        if (event.button() != Qt::LeftButton)
            return;
        const auto& layout = component().getLayoutManager();
        const QPoint p = event.position().toPoint();
        view_.showOriginAt(
            FilePosition(layout.xCoordToSourcePosition(p.x()), layout.yCoordToLineNumber(p.y())));
    }

private:
    HtmlView& view_;
};

} // namespace

HtmlView::HtmlView() {
    onLinkEvent<StartupEvent>(&HtmlView::handleStartup);
    onLinkEvent<HtmlEvent>(&HtmlView::handleHtml);
    onLinkEvent<HighlightTagEvent>(&HtmlView::handleHighlightTag);
    onLinkEvent<HighlightEvent>(&HtmlView::handleHighlight);
    onLinkEvent<PassedEvent>(&HtmlView::handlePassed);
    switchesDisplaysWithFiles();
}

HtmlView::~HtmlView() = default;

QStringList HtmlView::getLinkEventNames() const {
    return {ResumeEvent::kindKey(), ExitEvent::kindKey(), HtmlTagsEvent::kindKey(),
            ChangeButtonStateEvent::kindKey(), ShowOutputOriginEvent::kindKey()};
}

HtmlModel& HtmlView::model() const {
    return resolveModel(model_, ownModel_);
}

void HtmlView::toolInstalled() {
    CommonView::toolInstalled();
    installTitle("L-HTMLViewTitle", QStringLiteral("GenHTML.gif"), "The html icon file is: ");
}

CommonViewComponent* HtmlView::createCanvas() {
    canvas = newHiddenCanvas(false);
    canvas->setLanguage(SourceLanguage::Html);
    canvas->setInputController(std::make_unique<HtmlInputController>(*canvas, *this));
    return canvas;
}

OutputOrigins& HtmlView::origins() {
    return originsByFile_[curFileId()];
}

const OutputOrigins* HtmlView::shownOrigins() const {
    auto it = originsByFile_.find(curFileId());
    return it == originsByFile_.end() ? nullptr : &it->second;
}

const OutputOrigin* HtmlView::originAt(const FilePosition& position) const {
    const OutputOrigins* shown = shownOrigins();
    return shown ? shown->originAt(position) : nullptr;
}

bool HtmlView::showOriginAt(const FilePosition& position) {
    const OutputOrigin* origin = originAt(position);
    if (!origin)
        return false;
    fire<ShowOutputOriginEvent>(*origin);
    return true;
}

const TextSpans* HtmlView::markedOutput() const {
    return canvas ? canvas->getMarks().spans() : nullptr;
}

void HtmlView::markOutputOfCurrentSpan() {
    if (!canvas)
        return;
    const OutputOrigins* shown = shownOrigins();
    if (current_ && shown)
        canvas->getMarks().set(shown->spansOf(*current_), kCurrentOutputColour);
    else
        canvas->getMarks().clear();
}

void HtmlView::showSource() {
    getScrollPane()->updateGeometry();
    getScrollPane()->update();
}

void HtmlView::showSource(int line) {
    if (!canvas)
        return;
    canvas->showLines(&model().lineList());
    setClient(canvas);
    canvas->makeLineVisible(line);
}

void HtmlView::handleStartup(const StartupEvent& e) {
    const Record* record = e.itemAs<Record>();
    beginFile(record && *record ? (*record)->getFileIdStr() : std::nullopt);
    createCanvas();
    model().clear();
    origins().clear();
    current_.reset();
    canvas->showLines(&model().lineList());
    setClient(canvas);
    showSource();
    Tracer::trace(this, "handleLinkEvent", "HtmlView.handleLinkedEvent(StartupEvent)");
}

void HtmlView::handleHtml(const HtmlEvent& e) {
    const Record* record = e.itemAs<Record>();
    if (record && *record && (*record)->getHtmlString()) {
        const std::string& html = *(*record)->getHtmlString();
        auto tags = std::make_shared<HtmlTags>();
        // Every tag the piece completes but one begins with a "<" of the piece, and its text
        // is text of the piece (blanks aside): room enough, but for a tag begun earlier.
        tags->reserve(static_cast<std::size_t>(std::count(html.begin(), html.end(), '<')) + 1,
                      html.size());
        addOutput(html, *tags);
        announceTags(std::move(tags), panekit::LinkEvent::NONE);
        followOutput();
    }
    if (e.getEventType() != kAnsweredAhead)
        fire<ResumeEvent>();
}

void HtmlView::handlePassed(const PassedEvent& e) {
    const PassedRecords* passed = e.itemAs<PassedRecords>();
    if (!passed || !*passed)
        return;
    const std::vector<Record>& records = **passed;
    const Record* lastPosition = lastPositionOf(records);
    const Record* lastOutput = nullptr;
    for (const Record& record : records) {
        if (record->getInfoType() == JspSourceInfo::HTML_INFO && record->getHtmlString())
            lastOutput = &record;
    }
    // One by one, each piece's tags would be handled after the view followed that piece:
    // the tags of the last piece lead to what is shown, those before it only to what is set.
    auto earlierTags = std::make_shared<HtmlTags>();
    auto lastTags = std::make_shared<HtmlTags>();
    for (const Record& record : records) {
        if (record->getInfoType() != JspSourceInfo::HTML_INFO) {
            current_ = OutputOrigin::of(*record);
            // The marks are those the last position set, over the output before it.
            if (&record == lastPosition)
                markOutputOfCurrentSpan();
        } else if (const std::optional<std::string>& html = record->getHtmlString()) {
            addOutput(*html, &record == lastOutput ? *lastTags : *earlierTags);
        }
    }
    if (!lastOutput)
        return;
    announceTags(std::move(earlierTags), kOutputFollowed);
    announceTags(std::move(lastTags), panekit::LinkEvent::NONE);
    followOutput();
}

void HtmlView::addOutput(std::string_view html, HtmlTags& tags) {
    const FilePosition before = model().endPosition();
    model().addText(html, tags);
    if (const FilePosition after = model().endPosition(); current_ && before < after) {
        const FilePosition start = before.pos == 0 ? FilePosition(1, std::max(1, before.line))
                                                   : FilePosition(before.pos + 1, before.line);
        origins().add(TextSpan{start, after}, *current_);
    }
}

void HtmlView::announceTags(std::shared_ptr<HtmlTags> tags, std::int32_t type) {
    // One announcement for all the tags: the stack reports once.
    if (!tags->empty())
        fireLinkEvent(std::make_shared<HtmlTagsEvent>(
            this, type, QString(), std::any(std::shared_ptr<const HtmlTags>(std::move(tags)))));
}

void HtmlView::followOutput() {
    // Output only grows at its end: only the new part is laid out.
    if (canvas) {
        canvas->linesAppended();
        setClient(canvas);
        if (model().lineCount() > 0)
            canvas->makeLineVisible(model().lineCount());
    }
}

void HtmlView::handleHighlight(const HighlightEvent& e) {
    const Record* record = e.itemAs<Record>();
    const JspSourceInfo* r = record ? record->get() : nullptr;
    current_ = r ? OutputOrigin::of(*r) : std::nullopt;
    markOutputOfCurrentSpan();
}

void HtmlView::handleHighlightTag(const HighlightTagEvent& e) {
    if (!canvas)
        return;
    const HtmlTagPosition* p = e.itemAs<HtmlTagPosition>();
    if (p && e.getEventType() == kOutputFollowed)
        canvas->getHighlighter().highlight(FilePosition(p->startPos, p->startLine),
                                           FilePosition(p->endPos, p->endLine));
    else if (p)
        canvas->highlight(p->startLine, p->startPos, p->endLine, p->endPos);
    else
        canvas->getHighlighter().clear();
}

} // namespace tracewin
