#pragma once

#include "panekit/buildscope.h"
#include "panekit/clienttools.h"
#include "panekit/configuration.h"
#include "panekit/linkevent.h"

#include <QPointer>
#include <QTabWidget>
#include <functional>
#include <memory>

namespace panekit {

class PageWidget;
class Tool;

// A workbook: one tab per listed page or section, in the listed order, and the
// workbook's own controller (created once for the whole workbook). Built from a workbook
// description or, for a section, from the section's page list.
class ManagedWorkbook : public QTabWidget, public ClientTools {
    Q_OBJECT

public:
    ManagedWorkbook(const WorkbookDescription& description, BuildScope scope,
                    QWidget* parent = nullptr);
    ManagedWorkbook(const SectionDescription& section, BuildScope scope, QWidget* parent = nullptr);
    ~ManagedWorkbook() override;

    QString getName() const { return name_; }
    Tool* getController() const override { return controller_.get(); }
    int getPageCount() const { return count(); }
    PageWidget* getPage(int index) const;
    PageWidget* findPage(const QString& name) const;
    PageWidget* getCurrentPage() const;
    bool turnToPage(const QString& name);

    // The pane tool that shows this workbook when it is a minor workbook, else null.
    void setHolder(Tool* holder);
    Tool* getHolder() const;
    // The workbook whose page holds this one, or null.
    ManagedWorkbook* getEnclosingWorkbook() const;

    // Only the workbook controller takes events sent to the workbook, under their kind.
    void fireLinkEvent(const LinkEventPtr& event) override;
    // The controller (under the kind and generically), then every page in page order.
    void fireModelEvent(const LinkEventPtr& event) override;

    // The controller first, then every page in page order.
    void activateAll() override;
    bool windowClosing() override;
    bool applicationExiting() override;
    void uninstallAll() override;
    void applyToAllTools(const std::function<void(Tool&)>& apply) override;

private:
    void build(const LeafPaneDescription* controller, const std::vector<PageReference>& pages);
    bool askAll(bool (Tool::*question)(), bool (PageWidget::*pageQuestion)());
    void pageSelected(int index);

    QString name_;
    BuildScope scope_;
    std::unique_ptr<Tool> controller_;
    QPointer<Tool> holder_;
    bool uninstalled_ = false;
};

} // namespace panekit
