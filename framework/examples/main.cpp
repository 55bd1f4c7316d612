// Shows the "Demo" workbook of demo.cfg with placeholder tools, so that frames, pages,
// splitters and pane title bars can be looked at without the rest of the system.
// Usage: panekit_demo [DIRECTORY_WITH_demo.cfg [WORKBOOK [PAGE_TO_SHOW]]]
#include "panekit/action.h"
#include "panekit/application.h"
#include "panekit/managedworkbook.h"
#include "panekit/menudata.h"
#include "panekit/model.h"
#include "panekit/standardcontext.h"
#include "panekit/statusline.h"
#include "panekit/statuslinecontribution.h"
#include "panekit/tool.h"
#include "panekit/toolbarcontribution.h"
#include "panekit/workbookframe.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPointer>
#include <QStyle>
#include <cstdio>
#include <memory>

namespace {

// Writes into the status line of the window of its tool.
class HelloAction : public panekit::Action {
public:
    void run() override {
        panekit::Tool* tool = getTool();
        auto* context =
            tool ? qobject_cast<panekit::StandardContext*>(tool->getParentContext()) : nullptr;
        if (context)
            context->getStatusLine()->setMessage(QStringLiteral("Hello from ") +
                                                 tool->getViewName());
    }
};

// Shows its name and class in its pane, and contributes a "Tools" menu whose "Say hello"
// runs in the pane in focus, a tool-bar button for it, and a status label.
class Placeholder : public panekit::Tool {
public:
    Placeholder() {
        hello_.setTool(this);
        hello_.setFocusAction(true);
    }
    panekit::MenuContribution* getMenuContribution() override {
        if (!menus_) {
            panekit::Application* app = getApplication();
            menus_ = std::make_unique<panekit::MenuContribution>();
            auto tools = app->getMenuData(QStringLiteral("MTools"));
            auto item = app->getMenuItemData(QStringLiteral("MiHello"));
            item->setAction(&hello_);
            item->setDescription(app->getString(QStringLiteral("TiHello")));
            tools->add(item);
            menus_->addMenuData(tools);
        }
        return menus_.get();
    }
    panekit::ToolBarContribution* getToolBarContribution() override {
        if (!bar_) {
            panekit::Application* app = getApplication();
            bar_ = std::make_unique<panekit::ToolBarContribution>();
            bar_->setKey(QStringLiteral("ToolBar.demo"));
            auto button = std::make_shared<panekit::ToolBarButtonData>(
                app->parseMenuResource(QStringLiteral("MiHello")).label,
                QApplication::style()->standardIcon(QStyle::SP_MessageBoxInformation),
                QStringLiteral("MiHello"), app->getString(QStringLiteral("TiHello")), &hello_);
            button->setShowText(true);
            bar_->addButtonData(button);
            // Every placeholder tool is its own bundle, so only the editor's bar is shown.
            if (getName() != QLatin1String("editor"))
                bar_->setShowPolicy(panekit::ToolBarContribution::SHOW_NEVER);
        }
        return bar_.get();
    }
    panekit::StatusLineContribution* getStatusLineContribution() override {
        if (!status_ && getName() == QLatin1String("editor")) {
            status_ = std::make_unique<panekit::StatusLineContribution>();
            status_->addLabel(
                std::make_shared<panekit::StatusLabelData>(QStringLiteral("Ln 1, Col 1")));
        }
        return status_.get();
    }

    QWidget* getView() override {
        if (!view_) {
            const auto* d = getPaneDescription();
            QString text = getName();
            if (d && d->view)
                text += QStringLiteral("\n") + d->view->className;
            if (d && !d->viewType.isEmpty())
                text += QStringLiteral("\nview type: ") + d->viewType;
            view_ = new QLabel(text);
            view_->setAlignment(Qt::AlignCenter);
            view_->setAutoFillBackground(true);
            view_->setBackgroundRole(QPalette::Base);
        }
        return view_;
    }
    void toolActive() override { std::printf("toolActive: %s\n", qPrintable(getName())); }

private:
    QPointer<QLabel> view_;
    HelloAction hello_;
    std::unique_ptr<panekit::MenuContribution> menus_;
    std::unique_ptr<panekit::ToolBarContribution> bar_;
    std::unique_ptr<panekit::StatusLineContribution> status_;
};

class BarePlaceholder : public Placeholder {
public:
    BarePlaceholder() {
        setLinkButtonVisible(false);
        setMinimizeButtonVisible(false);
        setViewButtonVisible(false);
    }
};

} // namespace

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const QString shipped = args.size() > 1 ? args[1] : QStringLiteral(PANEKIT_DEMO_DIR);
    const QString workbook = args.size() > 2 ? args[2] : QStringLiteral("Demo");

    panekit::Application* app = panekit::Application::getApplication(QStringLiteral("demo"));
    // The shipped configuration is read from the protected home; profiles, positions and the
    // working copy go to a home of the user's own.
    const QString home = QDir::temp().filePath(QStringLiteral("panekit-demo"));
    QDir().mkpath(home);
    app->setHome(home);
    app->setProtectedHome(shipped);
    app->setInformMissing(false);
    panekit::PartsFactory& parts = app->getPartsFactory();
    parts.registerTool<Placeholder>(QStringLiteral("panekit.demo.Placeholder"));
    parts.registerTool<BarePlaceholder>(QStringLiteral("panekit.demo.BarePlaceholder"));
    parts.registerModel<panekit::Model>(QStringLiteral("panekit.demo.Model"));
    app->initialize();
    app->loadProfile();
    if (!app->setCurrentConfiguration(QStringLiteral("demo"), true)) {
        std::fprintf(stderr, "Cannot read %s/demo.cfg\n", qPrintable(shipped));
        return 1;
    }

    auto* frame = new panekit::WorkbookFrame(workbook);
    if (!frame->buildWorkbook()) {
        std::fprintf(stderr, "No workbook %s in demo.cfg\n", qPrintable(workbook));
        return 1;
    }
    if (args.size() > 3)
        frame->getWorkbook()->turnToPage(args[3]);
    frame->resize(1000, 700);
    frame->buildMenuBar();
    frame->buildToolBar();
    frame->buildStatusLine();
    frame->show();
    frame->activateAll();
    return qapp.exec();
}
