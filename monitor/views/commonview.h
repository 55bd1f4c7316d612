#pragma once

#include "panekit/tool.h"
#include "views/commonmodel.h"
#include "views/commonviewcomponenthost.h"
#include "views/statusline.h"

#include <QPointer>
#include <QScrollArea>
#include <QString>
#include <any>
#include <memory>

namespace tracewin {

class CommonViewComponent;
class SourceInformation;

// The base of the monitor's source views: a tool whose view is a scroll area holding the
// text component of the file now shown. The view owns every component it made (they all
// live inside its scroll area, the hidden ones kept for switching back to their files),
// answers what the component and the per-file snapshots ask of it, and fires the
// breakpoint and button-state requests upwards.
class CommonView : public panekit::Tool, public CommonViewComponentHost, public CommonViewState {
    Q_OBJECT

public:
    CommonView();
    ~CommonView() override;

    QWidget* getView() override;
    QScrollArea* getScrollPane() const { return spane; }
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

    // CommonViewComponentHost
    bool getFocus() const override { return focus; }
    void sendBreakpointInfo(int line, bool isSet) override;
    void refreshSelectedItemMenu() override {}

    // CommonViewState
    int getCurrentViewLine() const override { return currentViewLine; }

    bool hasFocus() const { return focus; }
    // Asks the page for new enabled flags of the six execution commands.
    void changeButtonStates(bool step, bool run, bool fastForward, bool terminate, bool prevErr,
                            bool nextErr);
    // The model's line at a 0-based index; none in the base.
    virtual const SourceInformation* getViewLine(int index) const;
    // The help topic of this view.
    virtual QString getHelpId() const = 0;

    // The resource text of a label key, and the file of a monitor icon.
    static QString labelText(const char* key);
    static QString iconPath(const QString& fileName);

protected:
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
    // A new text component in the scroll area, hidden until setClient shows it, with the
    // canvas background.
    CommonViewComponent* newHiddenCanvas(bool withBreakpointMargin);
    // A hidden component kept in the scroll area: it is shown again by setClient.
    void keep(QWidget* component);

    bool focus = false;
    int currentViewLine = -1;

private:
    QPointer<QScrollArea> spane;
    std::shared_ptr<StatusLine> statusLine_;
};

} // namespace tracewin
