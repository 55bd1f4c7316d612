#pragma once

#include "panekit/buildscope.h"
#include "panekit/configuration.h"
#include "panekit/linkevent.h"

#include <QHash>
#include <functional>
#include <memory>
#include <vector>

class QSplitter;
class QWidget;

namespace panekit {

class LinkListener;
class Page;
class Tool;
class ToolPane;

// The panes of one page: builds the page's controller and its tree of split panes from
// the page description, keeps the tool panes in layout order, and walks them (controller
// first) for activation, closing, exiting and uninstalling.
class PaneManager {
public:
    PaneManager(const PageDescription& page, BuildScope scope, Page* parentPage);
    ~PaneManager();
    PaneManager(const PaneManager&) = delete;
    PaneManager& operator=(const PaneManager&) = delete;

    // Creates the controller and the panes; returns the root component, which the caller
    // places (and so owns). Null for a page without panes.
    QWidget* buildPaneHierarchy();

    const PageDescription& getPageDescription() const { return page_; }
    const PaneDescription* getPaneDescription() const { return page_.clientPane.get(); }
    const LeafPaneDescription* getControllerDescription() const { return page_.controller.get(); }
    Tool* getController() const { return controller_.get(); }
    const std::vector<ToolPane*>& getPanes() const { return panes_; }
    ToolPane* findPane(const QString& paneName) const;
    QWidget* getRootPane() const { return root_; }
    // The splitter at the root of the page, if the page is split at all.
    QSplitter* getSplitter() const;
    BrowserFrame* getParentFrame() const { return scope_.frame; }
    PanekitContext* getParentContext() const { return scope_.context; }
    Page* getParentPage() const { return parentPage_; }
    const BuildScope& getScope() const { return scope_; }

    // The controller's toolActive first, then every pane tool's, in layout order.
    void activateAll();
    // Asked of the controller, then of each pane tool in layout order; the first false
    // stops the walk and is returned.
    bool windowClosing();
    bool applicationExiting();
    void uninstallAll();
    // The controller, then every pane tool, descending into workbooks held by panes.
    void applyToAllTools(const std::function<void(Tool&)>& apply);

    // ---- links (made by buildPaneHierarchy from the page description) ----
    // Links target to source for every kind that source fires and target handles, and for
    // every kind when target has a catch-all. A workbook pane's current inner tool is the
    // real target.
    static void linkSourceAndTargetTool(Tool* source, Tool* target);
    // Links again every receiver of source named in the page description.
    void rebuildLinksFrom(Tool* source);
    // The tool of a pane or of the controller description.
    Tool* findTool(const LeafPaneDescription* description) const;

    // ---- focus followers ----
    void addFocusPane(Tool* tool);
    bool hasFocusPanes() const { return !focusListeners_.isEmpty() || genericFocusListener_; }
    void fireEventToFocusPanes(const LinkEventPtr& event, const QString& key);

    // The controller, then every pane tool in layout order, each under the event's kind and
    // generically; a workbook pane passes the event on to its workbook.
    void fireModelEvent(const LinkEventPtr& event);

private:
    void linkPanes();
    void linkTarget(Tool* target, const LeafPaneDescription& description);
    QWidget* buildPane(const PaneDescription& description, QWidget* parent);
    bool askAll(bool (Tool::*question)());

    const PageDescription& page_;
    BuildScope scope_;
    Page* parentPage_;
    std::unique_ptr<Tool> controller_;
    std::vector<ToolPane*> panes_;
    QWidget* root_ = nullptr;
    bool uninstalled_ = false;
    QHash<QString, std::shared_ptr<LinkListener>> focusListeners_;
    std::shared_ptr<LinkListener> genericFocusListener_;
};

} // namespace panekit
