#include "views/jspbreakview.h"

#include "core/record.h"
#include "tracehook/jspsourceinfo.h"
#include "tracehook/tracer.h"
#include "views/commonviewcomponent.h"
#include "views/commonviewcomponenthighlighter.h"

namespace tracewin {
namespace {
using tracehook::JspSourceInfo;
} // namespace

JspBreakView::JspBreakView() {
    createCanvas();
    setClient(canvas);
    onLinkEvent<StartupEvent>(&JspBreakView::handleStartup);
    onLinkEvent<HighlightEvent>(&JspBreakView::handleHighlight);
    // Only the last position a run passed shows.
    onLinkEvent<PassedEvent>(lastPositionTo(this, &JspBreakView::handleHighlight));
    onLinkEvent<ClientExitEvent>(&JspBreakView::handleClientExit);
}

JspBreakView::~JspBreakView() = default;

QStringList JspBreakView::getLinkEventNames() const {
    return {ResumeEvent::kindKey(), ExitEvent::kindKey()};
}

JspBreakModel& JspBreakView::model() const {
    return resolveModel(model_, ownModel_);
}

void JspBreakView::toolInstalled() {
    CommonView::toolInstalled();
    setTitle(QStringLiteral("Jsp Break Source  "));
}

CommonViewComponent* JspBreakView::createCanvas() {
    canvas = new CommonViewComponent(this, getScrollPane());
    setCanvasBackground(*canvas);
    return canvas;
}

void JspBreakView::showSource() {
    if (canvas)
        canvas->displayCurrentFile(1);
}

void JspBreakView::handleStartup(const StartupEvent& e) {
    const Record* record = e.itemAs<Record>();
    std::optional<QString> file;
    if (record && *record && (*record)->getJavaSourceFilename())
        file = QString::fromStdString(*(*record)->getJavaSourceFilename());
    if (!model().primeModel(file, true, true))
        tracehook::Tracer::printLine(
            "JavaView.handleLinkedEvent(StartupEvent) - caught I/O exception");
    if (canvas) {
        canvas->getHighlighter().clear();
        canvas->showLines(&model().lineList());
    }
    showSource();
}

// The breakpoint page marks the executing Java line as a whole.
void JspBreakView::handleHighlight(const HighlightEvent& e) {
    const Record* record = e.itemAs<Record>();
    if (!record || !*record) {
        if (canvas)
            canvas->getHighlighter().clear();
        return;
    }
    const int javaLine = (*record)->getJavaLine();
    currentViewLine = javaLine - 1;
    if (canvas && javaLine >= 1 && javaLine <= model().lineCount()) {
        const auto length = model().lineList().text(static_cast<std::size_t>(javaLine - 1)).size();
        canvas->highlight(javaLine, 1, javaLine, std::max(1, static_cast<int>(length)));
    }
}

void JspBreakView::handleClientExit(const ClientExitEvent&) {
    changeButtonStates(false, false, false, true, false, false);
}

} // namespace tracewin
