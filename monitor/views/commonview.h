#pragma once

#include "panekit/tool.h"
#include "views/commonmodel.h"
#include "views/commonviewcomponent.h"
#include "views/commonviewcomponenthost.h"
#include "views/sourcepane.h"
#include "views/statusline.h"
// After Qt's headers: moc cannot parse <compare> ahead of them.
#include "core/outputorigins.h"

#include <QPointer>
#include <QString>
#include <any>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace tracewin {

class DebugSession;
class SourceInformation;
class ChangeCurrentStateEvent;
class StepEvent;
class SwitchJspFileEvent;
class UpdateModelStateEvent;

// The base of the monitor's source views: a tool whose view is a scroll area holding the
// text component of the file now shown. The view owns every component it made (they all
// live inside its scroll area, the hidden ones kept, with a snapshot of model and view, for
// switching back to their files), answers what the component and the snapshots ask of
// it, and fires the breakpoint and button-state requests upwards. It works in the
// debugging session it is given, and takes the execution states announced to it.
class CommonView : public panekit::Tool, public CommonViewComponentHost, public CommonViewState {
    Q_OBJECT

public:
    CommonView();
    ~CommonView() override;

    QWidget* getView() override;
    SourcePane* getScrollPane() const { return spane; }
    void toolInstalled() override;

    // Shows component in the scroll area; the component shown before stays with the view.
    void setClient(QWidget* component);

    // The status line of the parent context. Until one is given, toolInstalled connects the
    // parent window's status bar; without any, messages are dropped and read as "".
    void setStatusLine(std::shared_ptr<StatusLine> statusLine) {
        statusLine_ = std::move(statusLine);
    }
    StatusLine* getStatusLine() const { return statusLine_.get(); }
    void setStatusLineMsg(const QString& message);
    QString statusLineMessage() const;

    // Focus and current line from a snapshot.
    virtual void restoreCanvas(const CommonModelViewInfo& info);

    // The debugging session the view works in; until one is given, a session of its own.
    void setSession(std::shared_ptr<DebugSession> session) { session_ = std::move(session); }
    DebugSession& session() const;
    // The JSP file the view shows, as the page runtime names it.
    QString getCurFileIdStr() const { return curFileIdStr; }
    CommonViewComponent* getCanvas() const { return canvas; }

    // CommonViewComponentHost
    const CommonModel* getCommonModel() const override { return &sourceModel(); }
    bool getFocus() const override { return focus; }
    void sendBreakpointInfo(int line, bool isSet) override;
    void refreshSelectedItemMenu() override {}

    // CommonViewState
    int getCurrentViewLine() const override { return currentViewLine; }

    bool hasFocus() const { return focus; }
    // Asks the page for new enabled flags of the six execution commands.
    void changeButtonStates(bool step, bool run, bool fastForward, bool terminate, bool prevErr,
                            bool nextErr);
    // Marks a stretch of the text on show as selected (the source of output the user
    // clicked) and scrolls it into view; the stretch marked, if any.
    void selectAndShow(const TextSpan& span);
    const TextSpans* selection() const;
    // The help topic of this view.
    virtual QString getHelpId() const = 0;

    // The resource text of a label key, and the file of a monitor icon.
    static QString labelText(const char* key);
    static QString iconPath(const QString& fileName);

protected:
    // The model behind the view.
    virtual CommonModel& sourceModel() const = 0;
    int curFileId() const { return curFileIdStr.toInt(); }

    // ---- the files of the request ----
    // Views that keep a display per JSP file call this in their constructor: a switch to
    // another file keeps the display on show and brings back the one of the file entered.
    void switchesDisplaysWithFiles();
    // A page starts: the display on show is kept for its file, and the page's file id, when
    // it has one, becomes the view's.
    void beginFile(const std::optional<std::string>& fileIdStr);
    // What the switch brings back besides the component: by default the model and view of
    // the snapshot, when there is one.
    virtual void restoreFile(int fileId, const CommonModelViewInfo* snapshot);
    // The component of the file entered is on show (or none is).
    virtual void fileShown() {}
    // The name a model-state update gives this view's model; it puts the session back to
    // STEP. None by default.
    virtual QString modelStateName() const { return {}; }

    // The model named in this view's pane description when it is of class M, else a model
    // of the view's own (a view used outside a configured page).
    template <class M> M& resolveModel(M*& cache, std::unique_ptr<M>& own) const {
        if (!cache || cache == own.get()) {
            const panekit::LeafPaneDescription* description = getPaneDescription();
            M* framework =
                description && description->model ? dynamic_cast<M*>(getModel()) : nullptr;
            if (framework)
                cache = framework;
            else if (!cache) {
                own = std::make_unique<M>();
                cache = own.get();
            }
        }
        return *cache;
    }
    // Fires an event of kind E with no name and the given item.
    template <class E> void fire(std::any item = {}) {
        fireLinkEvent(std::make_shared<E>(this, QString(), std::move(item)));
    }
    // Sets the title to the label of key and two spaces, and the title icon; traces the
    // icon file with the given text.
    void installTitle(const char* labelKey, const QString& iconFile, const char* traceText);
    // The "Tree.background" colour of the style, and repaints.
    static void setCanvasBackground(CommonViewComponent& canvas);
    // A source file's look: numbered lines in a light margin, coloured as the language.
    static void showAsSource(CommonViewComponent& canvas, SourceLanguage language);
    // A new text component in the scroll area, hidden until setClient shows it, with the
    // canvas background.
    CommonViewComponent* newHiddenCanvas(bool withBreakpointMargin);
    // A hidden component kept in the scroll area: it is shown again by setClient.
    void keep(QWidget* component);

    bool focus = false;
    int currentViewLine = -1;
    QPointer<CommonViewComponent> canvas;
    QString curFileIdStr = QStringLiteral("0");

private:
    // What the view keeps of a JSP file that is not on show.
    struct FileDisplay {
        QPointer<CommonViewComponent> canvas;
        std::shared_ptr<const CommonModelViewInfo> snapshot;
    };
    void handleSwitchJspFile(const SwitchJspFileEvent& e);
    void handleStep(const StepEvent& e);
    void handleChangeCurrentState(const ChangeCurrentStateEvent& e);
    void handleUpdateModelState(const UpdateModelStateEvent& e);
    void keepCurrentFile();

    QPointer<SourcePane> spane;
    std::shared_ptr<StatusLine> statusLine_;
    mutable std::shared_ptr<DebugSession> session_;
    std::map<int, FileDisplay> files_;
};

} // namespace tracewin
