#include "toolfactory.h"

#include "output.h"
#include "panekit/application.h"
#include "panekit/tool.h"
#include "unknowntool.h"
#include "workbooktool.h"

namespace panekit {

std::unique_ptr<Tool> createTool(const LeafPaneDescription& description, const BuildScope& scope,
                                 PaneManager* manager, Page* page) {
    Application* app = scope.application;
    const ToolDescription* view = description.view;
    std::unique_ptr<Tool> tool;
    if (const WorkbookPaneDescription* holder = description.asWorkbookPane()) {
        const QString book = holder->workbook ? holder->workbook->name : QString();
        if (holder->workbook && !scope.openWorkbooks.contains(book)) {
            tool = std::make_unique<WorkbookTool>(*holder, scope);
        } else {
            const QString reason = QStringLiteral("Workbook ") + book +
                                   QStringLiteral(" cannot be shown inside itself");
            printLine(reason);
            tool = std::make_unique<UnknownTool>(reason);
        }
        tool->setName(description.name);
    } else if (view) {
        tool = app->getPartsFactory().createTool(view->className);
    }
    if (!tool) {
        const QString reason =
            view ? QStringLiteral("Cannot create tool ") + view->name +
                       QStringLiteral(": unknown class ") + view->className
                 : QStringLiteral("Pane ") + description.name + QStringLiteral(" names no tool");
        printLine(reason);
        tool = std::make_unique<UnknownTool>(reason);
    }
    if (tool->getName().isEmpty())
        tool->setName(view ? view->name : description.name);
    tool->setApplicationKey(app->getKey());
    tool->setController(description.controller);
    tool->setPaneDescription(&description);
    tool->setParentFrame(scope.frame);
    tool->setParentContext(scope.context);
    tool->setParentPage(page);
    tool->setPaneManager(manager);
    app->addTool(tool.get());
    return tool;
}

} // namespace panekit
