#include "views/javaview.h"

#include "core/record.h"
#include "tracehook/compileerrorcodes.h"
#include "tracehook/jspsourceinfo.h"
#include "tracehook/tracer.h"
#include "views/commonviewcomponent.h"
#include "views/commonviewcomponenthighlighter.h"

#include <QElapsedTimer>
#include <QScrollArea>

namespace tracewin {
namespace {

using tracehook::JspSourceInfo;
using tracehook::Tracer;

const JspSourceInfo* recordOf(const panekit::LinkEvent& e) {
    const Record* record = e.itemAs<Record>();
    return record ? record->get() : nullptr;
}

} // namespace

JavaView::JavaView() {
    onLinkEvent<StartupEvent>(&JavaView::handleStartup);
    onLinkEvent<HighlightEvent>(&JavaView::handleHighlight);
    // Only the last position a run passed shows.
    onLinkEvent<PassedEvent>(lastPositionTo(this, &JavaView::handleHighlight));
    switchesDisplaysWithFiles();
    onLinkEvent<ClientExitEvent>(&JavaView::handleClientExit);
    onLinkEvent<ShowOutputOriginEvent>(&JavaView::handleShowOutputOrigin);
}

JavaView::~JavaView() = default;

QStringList JavaView::getLinkEventNames() const {
    return {ResumeEvent::kindKey(), ExitEvent::kindKey(), ChangeButtonStateEvent::kindKey()};
}

JavaModel& JavaView::model() const {
    return resolveModel(model_, ownModel_);
}

void JavaView::toolInstalled() {
    CommonView::toolInstalled();
    installTitle("L-JavaViewTitle", QStringLiteral("JavaSrc.gif"), "The java icon file is: ");
}

CommonViewComponent* JavaView::createCanvas() {
    canvas = newHiddenCanvas(false);
    showAsSource(*canvas, SourceLanguage::Java);
    return canvas;
}

void JavaView::showSource() {
    if (canvas)
        canvas->displayCurrentFile(1);
}

void JavaView::highlightText(int startLine, int startPos, int endLine, int endPos) {
    if (canvas)
        canvas->highlight(startLine, startPos, endLine, endPos);
}

int JavaView::adjustStartCol(int col, int javaLine) const {
    if (col == 0)
        return 1;
    return col - model().getNumOfRemovedChar(javaLine);
}

void JavaView::clearHighlight() {
    if (canvas)
        canvas->getHighlighter().clear();
}

void JavaView::handleStartup(const StartupEvent& e) {
    QElapsedTimer timer;
    timer.start();
    Tracer::trace(this, "handleLinkEvent", "JavaView.handleLinkedEvent(StartupEvent)");
    const JspSourceInfo* r = recordOf(e);
    beginFile(r ? r->getFileIdStr() : std::nullopt);
    std::optional<QString> file;
    if (r && r->getJavaSourceFilename())
        file = QString::fromStdString(*r->getJavaSourceFilename());
    if (model().primeModel(file, true, true)) {
        createCanvas();
        canvas->showLines(&model().lineList());
        setClient(canvas);
        showSource();
    } else {
        Tracer::printLine("JavaView::handlePrimeModelEvent - caught I/O exception");
        if (canvas)
            canvas->showLines(&model().lineList());
    }
    Tracer::trace(this, "handleLinkEvent",
                  "Time for startup of JavaView: " + std::to_string(timer.elapsed() / 1000.0));
}

void JavaView::handleHighlight(const HighlightEvent& e) {
    const JspSourceInfo* r = recordOf(e);
    if (!r || r->getErrType() == tracehook::CompileErrorCodes::JSP_ERR) {
        clearHighlight();
        return;
    }
    const int javaLine = r->getJavaLine();
    const int startCol = adjustStartCol(r->getJavaPos(), javaLine);
    const FilePosition end = model().convertToInclusivePos(FilePosition(1, javaLine + 1));
    highlightText(javaLine, startCol, end.line, end.pos);
}

void JavaView::handleShowOutputOrigin(const ShowOutputOriginEvent& e) {
    const OutputOrigin* origin = e.itemAs<OutputOrigin>();
    if (!origin || QString::fromStdString(origin->fileId) != curFileIdStr || origin->javaLine < 1)
        return;
    const FilePosition end = model().convertToInclusivePos(FilePosition(1, origin->javaLine + 1));
    selectAndShow(TextSpan{FilePosition(1, origin->javaLine), end});
}

void JavaView::handleClientExit(const ClientExitEvent& e) {
    if (const int* code = e.itemAs<int>()) {
        if (*code != JspSourceInfo::ABNORMAL_CLIENT_EXIT_COMMAND)
            clearHighlight();
        return;
    }
    const JspSourceInfo* r = recordOf(e);
    if (r && r->getInfoType() == JspSourceInfo::ABNORMAL_CLIENT_EXIT_COMMAND)
        return;
    clearHighlight();
}

} // namespace tracewin
