#include "views/jspview.h"

#include "core/debugsession.h"
#include "core/record.h"
#include "core/states.h"
#include "panekit/page.h"
#include "tracehook/compileerrorcodes.h"
#include "tracehook/debugconstants.h"
#include "tracehook/jspsourceinfo.h"
#include "tracehook/tracer.h"
#include "views/commonviewcomponent.h"
#include "views/commonviewcomponenthighlighter.h"

#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>
#include <QScrollArea>

namespace tracewin {
namespace {

using tracehook::JspSourceInfo;
using tracehook::Tracer;

std::optional<QString> text(const JspSourceInfo::Text& t) {
    return t ? std::optional<QString>(QString::fromStdString(*t)) : std::nullopt;
}

} // namespace

JspView::JspView() {
    resumeTimer_.setSingleShot(true);
    // A run that was paused, terminated or replaced meanwhile does not go on.
    connect(&resumeTimer_, &QTimer::timeout, this, [this] {
        if (session().isRunning())
            fire<ResumeEvent>();
    });
    onLinkEvent<StartupEvent>(&JspView::handleStartup);
    onLinkEvent<HighlightEvent>(&JspView::handleHighlight);
    // Only the last position a run passed shows.
    onLinkEvent<PassedEvent>(lastPositionTo(this, &JspView::handleHighlight));
    switchesDisplaysWithFiles();
    onLinkEvent<StepEvent>(&JspView::handleStep);
    onLinkEvent<ClientExitEvent>(&JspView::handleClientExit);
    onLinkEvent<ReturnJspFocusEvent>(&JspView::handleReturnJspFocus);
    onLinkEvent<ShowOutputOriginEvent>(&JspView::handleShowOutputOrigin);
}

JspView::~JspView() = default;

QStringList JspView::getLinkEventNames() const {
    return {LoadFileEvent::kindKey(),
            ReturnJspFocusEvent::kindKey(),
            ResumeEvent::kindKey(),
            PrevErrEvent::kindKey(),
            NextErrEvent::kindKey(),
            ExitEvent::kindKey(),
            ChangeButtonStateEvent::kindKey(),
            SendStateEvent::kindKey(),
            SetBreakpointEvent::kindKey()};
}

JspModel& JspView::model() const {
    return resolveModel(model_, ownModel_);
}

int JspView::getLastBreakptLine() const {
    return session().lastBreakpointLine();
}

void JspView::toolInstalled() {
    CommonView::toolInstalled();
    installTitle("L-JSPViewTitle", QStringLiteral("JSPSrc.gif"), "The jsp icon file is: ");
    const QString pageIcon = iconPath(QStringLiteral("JSPid.gif"));
    Tracer::trace(this, "toolInstalled", "The jsp page icon file is: " + pageIcon.toStdString());
    if (panekit::Page* page = getParentPage()) {
        page->setIcon(QIcon(pageIcon));
        page->setTitle(labelText("L-JSPPageTitle") + QStringLiteral("  "));
    }
    setStatusLineMsg(labelText("L-LoadingFiles"));
}

CommonViewComponent* JspView::createCanvas() {
    canvas = newHiddenCanvas(true);
    showAsSource(*canvas, SourceLanguage::Jsp);
    return canvas;
}

void JspView::showSource() {
    if (canvas)
        canvas->displayCurrentFile(1);
    getScrollPane()->updateGeometry();
    getScrollPane()->update();
}

void JspView::highlightText(int startLine, int startPos, int endLine, int endPos) {
    if (canvas)
        canvas->highlight(startLine, startPos, endLine, endPos);
}

void JspView::restoreCanvas(const CommonModelViewInfo& info) {
    CommonView::restoreCanvas(info);
    if (info.statusLineMsg)
        setStatusLineMsg(*info.statusLineMsg);
}

void JspView::fireState() {
    fire<SendStateEvent>(&session().states());
}

void JspView::handleStartup(const StartupEvent& e) {
    QElapsedTimer timer;
    timer.start();
    DebugSession& states = session();
    Tracer::trace(this, "handleLinkEvent",
                  "StartupEvent:JspView, state: " + std::to_string(states.currentState()));
    resumeTimer_.stop();
    const Record* record = e.itemAs<Record>();
    const JspSourceInfo* r = record ? record->get() : nullptr;
    beginFile(r ? r->getFileIdStr() : std::nullopt);
    setStatusLineMsg(QStringLiteral(" "));
    const bool primed =
        model().primeModel(r ? text(r->getJspSourceFilename()) : std::nullopt, true, true);
    if (primed) {
        createCanvas();
        canvas->setBreakpoints(states.startBreakpoints(curFileId()));
        canvas->showLines(&model().lineList());
        setClient(canvas);
        showSource();
        canvas->setFocus();
        if (r && r->getInfoType() == JspSourceInfo::COMPILE_ERR_FILE_INFO) {
            states.setCurrentState(States::NEXT_ERR);
            fireState();
            fire<NextErrEvent>();
        } else {
            states.setCurrentState(States::STEP);
        }
    } else {
        Tracer::printLine("JspView.handleLinkedEvent(StartupEvent) - caught I/O exception");
        // The component on show shares the emptied line list: let it show that.
        if (canvas)
            canvas->showLines(&model().lineList());
    }
    Tracer::trace(this, "handleLinkEvent", "JspView:handleLinkedEvent(StartupEvent");
    Tracer::trace(this, "handleLinkEvent",
                  "Time for startup of JspView.java: " + std::to_string(timer.elapsed() / 1000.0));
}

void JspView::handleHighlight(const HighlightEvent& e) {
    const Record* record = e.itemAs<Record>();
    const JspSourceInfo* r = record ? record->get() : nullptr;
    if (!r) {
        if (canvas)
            canvas->getHighlighter().clear();
        return;
    }
    DebugSession& states = session();
    const int startLine = r->getJspStartLine();
    const int startPos = r->getJspStartPos();
    const FilePosition end =
        model().convertToInclusivePos(FilePosition(r->getJspEndPos(), r->getJspEndLine()));
    highlightText(startLine, startPos, end.line, end.pos);
    if (tracehook::DebugConstants::getTrace()) // not built for every step of a run
        Tracer::trace(this, "handleLinkEvent",
                      "JspView:Highlight state: " + std::to_string(states.currentState()));
    if (r->getInfoType() == JspSourceInfo::ABNORMAL_CLIENT_EXIT_COMMAND)
        return;

    const int state = states.currentState();
    if (state == States::RUN) {
        // A position the connection answered already has the page running on: the rules
        // still decide (a pause or a breakpoint set meanwhile stops the run here), but
        // nothing resumes it.
        const bool answered = e.getEventType() == kAnsweredAhead;
        switch (states.afterPosition(curFileId(), startLine, end.line)) {
        case RunRules::Decision::Action::Stop:
            fireState();
            return;
        case RunRules::Decision::Action::ResumeNow:
            if (!answered)
                resumeRun(true);
            break;
        case RunRules::Decision::Action::ResumeAfterDelay:
            if (!answered)
                resumeRun(false);
            break;
        }
    } else if (state == States::PREV_ERR || state == States::NEXT_ERR) {
        if (const auto message = r->getDisplayErrMsg())
            setStatusLineMsg(QString::fromStdString(*message));
        setButtonsForError(r->getErrStatus());
    }
}

void JspView::handleShowOutputOrigin(const ShowOutputOriginEvent& e) {
    const OutputOrigin* origin = e.itemAs<OutputOrigin>();
    if (!origin || QString::fromStdString(origin->fileId) != curFileIdStr)
        return;
    const FilePosition end =
        model().convertToInclusivePos(FilePosition(origin->jspEndPos, origin->jspEndLine));
    selectAndShow(TextSpan{FilePosition(origin->jspStartPos, origin->jspStartLine), end});
}

int JspView::getRunAnimationDelay() const {
    return runAnimationDelayMs_ ? *runAnimationDelayMs_ : session().animationDelayMs();
}

void JspView::resumeRun(bool skipAnimation) {
    const int delay = skipAnimation ? 0 : getRunAnimationDelay();
    if (delay == 0) {
        fire<ResumeEvent>();
        return;
    }
    resumeTimer_.start(delay);
}

void JspView::showBreakpointMenu(int line, const QPoint& globalPos) {
    if (!canvas)
        return;
    const bool isSet = canvas->getBreakpointState(line);
    QMenu menu;
    QAction* toggle = menu.addAction(labelText(isSet ? "L-BreakpointClear" : "L-BreakpointSet"));
    QAction* edit = menu.addAction(labelText("L-BreakpointConditionEdit"));
    QAction* remove = menu.addAction(labelText("L-BreakpointConditionRemove"));
    remove->setEnabled(!breakpointCondition(line).isEmpty());
    QAction* chosen = menu.exec(globalPos);
    if (chosen == toggle) {
        canvas->toggleBreakpoint(line);
    } else if (chosen == edit) {
        editBreakpointCondition(line);
    } else if (chosen == remove) {
        setBreakpointCondition(line, QString());
    }
}

void JspView::editBreakpointCondition(int line) {
    QString text = breakpointCondition(line);
    while (true) {
        bool ok = false;
        text = QInputDialog::getText(getView(), labelText("L-BreakpointConditionTitle"),
                                     labelText("L-BreakpointConditionPrompt").arg(line),
                                     QLineEdit::Normal, text, &ok);
        if (!ok)
            return;
        QString error;
        if (setBreakpointCondition(line, text, &error))
            return;
        QMessageBox::warning(getView(), labelText("L-BreakpointConditionTitle"), error);
    }
}

bool JspView::setBreakpointCondition(int line, const QString& text, QString* error) {
    if (!canvas)
        return false;
    std::optional<BreakpointCondition> condition;
    if (!text.trimmed().isEmpty()) {
        std::string reason;
        condition = BreakpointCondition::parse(text.toStdString(), &reason);
        if (!condition) {
            if (error)
                *error = QString::fromStdString(reason);
            return false;
        }
        if (!canvas->getBreakpointState(line))
            canvas->toggleBreakpoint(line);
    }
    session().breakpoints(curFileId())->setCondition(line, std::move(condition));
    session().updateVariablesWanted();
    canvas->update();
    return true;
}

QString JspView::breakpointCondition(int line) const {
    const BreakpointCondition* condition = session().breakpoints(curFileId())->condition(line);
    return condition ? QString::fromStdString(condition->text()) : QString();
}

void JspView::setButtonsForError(int errStatus) {
    using Codes = tracehook::CompileErrorCodes;
    switch (errStatus) {
    case Codes::NORMAL_ERR:
        changeButtonStates(false, false, false, true, true, true);
        break;
    case Codes::FIRST_ERR:
        changeButtonStates(false, false, false, true, false, true);
        break;
    case Codes::LAST_ERR:
        changeButtonStates(false, false, false, true, true, false);
        break;
    case Codes::FIRST_AND_LAST_ERR:
        changeButtonStates(false, false, false, true, false, false);
        break;
    default:
        break;
    }
}

void JspView::restoreFile(int fileId, const CommonModelViewInfo* snapshot) {
    resumeTimer_.stop();
    if (snapshot)
        session().setCurrentState(snapshot->statesValue);
    CommonView::restoreFile(fileId, snapshot);
}

void JspView::fileShown() {
    if (canvas)
        canvas->setFocus();
}

void JspView::handleStep(const StepEvent&) {
    session().setCurrentState(States::STEP);
    fireState();
    fire<ResumeEvent>();
}

void JspView::handleClientExit(const ClientExitEvent& e) {
    resumeTimer_.stop();
    if (const int* code = e.itemAs<int>()) {
        if (*code == JspSourceInfo::CLIENT_EXIT_COMMAND && canvas)
            canvas->getHighlighter().clear();
        else if (*code == JspSourceInfo::ABNORMAL_CLIENT_EXIT_COMMAND)
            setStatusLineMsg(labelText("L-RuntimeException"));
        return;
    }
    const Record* record = e.itemAs<Record>();
    const JspSourceInfo* r = record ? record->get() : nullptr;
    if (!r || r->getInfoType() != JspSourceInfo::ABNORMAL_CLIENT_EXIT_COMMAND)
        return;
    QString message = labelText("L-RuntimeException");
    if (r->getCommentString() && !r->getCommentString()->empty())
        message += QStringLiteral(": ") + QString::fromStdString(*r->getCommentString());
    setStatusLineMsg(message);
}

void JspView::handleReturnJspFocus(const ReturnJspFocusEvent&) {
    if (canvas)
        canvas->setFocus();
}

} // namespace tracewin
