#pragma once

#include <QStringList>

namespace panekit {

class Application;
class BrowserFrame;
class PanekitContext;

// Where a page or workbook is being built: the application whose configuration and parts
// factory it uses, the frame and context that will hold its tools, and the workbooks
// already being built around it (a workbook pane naming one of them would hold itself).
struct BuildScope {
    Application* application = nullptr;
    BrowserFrame* frame = nullptr;
    PanekitContext* context = nullptr;
    QStringList openWorkbooks;
};

} // namespace panekit
