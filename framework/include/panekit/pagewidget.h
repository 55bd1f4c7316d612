#pragma once

#include "panekit/buildscope.h"
#include "panekit/clienttools.h"
#include "panekit/configuration.h"
#include "panekit/linkevent.h"
#include "panekit/page.h"

#include <QWidget>
#include <functional>
#include <memory>

namespace panekit {

class ManagedWorkbook;
class PaneManager;
class Tool;

// One built page: the splitters and panes of a plain page (through its PaneManager), or
// the nested workbook of a section.
class PageWidget : public QWidget, public Page, public ClientTools {
    Q_OBJECT

public:
    // reference, when given, supplies the title and image that a page list assigns.
    PageWidget(const PageDescription& description, BuildScope scope,
               const PageReference* reference = nullptr, QWidget* parent = nullptr);
    ~PageWidget() override;

    const PageDescription& getDescription() const { return description_; }
    PaneManager* getPaneManager() const { return manager_.get(); }
    // The nested workbook of a section; null for a plain page.
    ManagedWorkbook* getMinor() const { return minor_; }
    // The page controller, or the section's workbook controller.
    Tool* getController() const override;
    // The tool that takes events sent to the page: its controller, else the tool of the pane
    // declared as input pane; null when there is neither.
    Tool* getInputTool() const;
    // The input tool takes it, under the event's kind and generically.
    void fireLinkEvent(const LinkEventPtr& event) override;
    // The controller, then every tool of the page (of the section's workbook), each under the
    // event's kind and generically.
    void fireModelEvent(const LinkEventPtr& event) override;

    QString getName() const override { return description_.name; }
    QString getTitle() const override { return title_; }
    void setTitle(const QString& title) override;
    QString getCaption() const override { return caption_; }
    void setCaption(const QString& caption) override;
    QIcon getIcon() const override { return icon_; }
    void setIcon(const QIcon& icon) override;
    QPixmap getImage() const override { return image_; }
    void setImage(const QPixmap& image) override;
    bool isEnabled() const override { return QWidget::isEnabled(); }
    void setEnabled(bool enabled) override;
    bool isSelected() const override;
    bool isDetached() const override { return false; }

    void activateAll() override;
    bool windowClosing() override;
    bool applicationExiting() override;
    void uninstallAll() override;
    void applyToAllTools(const std::function<void(Tool&)>& apply) override;

signals:
    // The title, caption, icon or enabled state changed, so the tab must follow.
    void appearanceChanged(PageWidget* page);

private:
    const PageDescription& description_;
    std::unique_ptr<PaneManager> manager_;
    ManagedWorkbook* minor_ = nullptr;
    QString title_;
    QString caption_;
    QIcon icon_;
    QPixmap image_;
};

} // namespace panekit
