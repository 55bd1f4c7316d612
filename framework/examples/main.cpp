// Shows the "Demo" workbook of demo.cfg with placeholder tools, so that frames, pages,
// splitters and pane title bars can be looked at without the rest of the system.
// Usage: panekit_demo [DIRECTORY_WITH_demo.cfg [WORKBOOK [PAGE_TO_SHOW]]]
#include "panekit/application.h"
#include "panekit/managedworkbook.h"
#include "panekit/model.h"
#include "panekit/tool.h"
#include "panekit/workbookframe.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPointer>
#include <cstdio>

namespace {

// Shows its name and class in its pane.
class Placeholder : public panekit::Tool {
public:
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
    frame->show();
    frame->activateAll();
    return qapp.exec();
}
