#include "views/htmlview.h"

#include "core/record.h"
#include "tracehook/jspsourceinfo.h"
#include "tracehook/tracer.h"
#include "views/commonviewcomponent.h"
#include "views/commonviewcomponenthighlighter.h"

#include <QScrollArea>

namespace tracewin {
namespace {
using tracehook::JspSourceInfo;
using tracehook::Tracer;
} // namespace

HtmlView::HtmlView() {
    onLinkEvent<StartupEvent>(&HtmlView::handleStartup);
    onLinkEvent<HtmlEvent>(&HtmlView::handleHtml);
    onLinkEvent<HighlightTagEvent>(&HtmlView::handleHighlightTag);
    switchesDisplaysWithFiles();
}

HtmlView::~HtmlView() = default;

QStringList HtmlView::getLinkEventNames() const {
    return {ResumeEvent::kindKey(), ExitEvent::kindKey(), HtmlTagsEvent::kindKey(),
            ChangeButtonStateEvent::kindKey()};
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
    return canvas;
}

void HtmlView::showSource() {
    getScrollPane()->updateGeometry();
    getScrollPane()->update();
}

void HtmlView::showSource(int line) {
    if (!canvas)
        return;
    canvas->setNewLines(&model().getLines());
    setClient(canvas);
    canvas->makeLineVisible(line);
}

void HtmlView::handleStartup(const StartupEvent& e) {
    const Record* record = e.itemAs<Record>();
    beginFile(record && *record ? (*record)->getFileIdStr() : std::nullopt);
    createCanvas();
    model().clear();
    canvas->setNewLines(&model().getLines());
    setClient(canvas);
    showSource();
    Tracer::trace(this, "handleLinkEvent", "HtmlView.handleLinkedEvent(StartupEvent)");
}

void HtmlView::handleHtml(const HtmlEvent& e) {
    const Record* record = e.itemAs<Record>();
    if (record && *record && (*record)->getHtmlString()) {
        auto tags = std::make_shared<HtmlTags>();
        model().addText(QString::fromStdString(*(*record)->getHtmlString()),
                        [&tags](const QString& tagText, const HtmlTagPosition& position) {
                            tags->push_back(HtmlTag{tagText.toStdString(), position});
                        });
        // One announcement for all the tags of the piece: the stack reports once.
        if (!tags->empty())
            fire<HtmlTagsEvent>(std::shared_ptr<const HtmlTags>(std::move(tags)));
        // Output only grows at its end: only the new part is laid out.
        if (canvas) {
            canvas->linesAppended();
            setClient(canvas);
            if (model().lineCount() > 0)
                canvas->makeLineVisible(model().lineCount());
        }
    }
    fire<ResumeEvent>();
}

void HtmlView::handleHighlightTag(const HighlightTagEvent& e) {
    if (!canvas)
        return;
    if (const HtmlTagPosition* p = e.itemAs<HtmlTagPosition>())
        canvas->highlight(p->startLine, p->startPos, p->endLine, p->endPos);
    else
        canvas->getHighlighter().clear();
}

} // namespace tracewin
