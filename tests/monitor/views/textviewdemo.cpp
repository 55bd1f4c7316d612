// A small window showing the source text component with breakpoint marks, a highlighted
// span over several lines and the caret, for looking at it under a display:
//   tracewin_textview_demo [seconds] [grab.png] [lines]
// It closes after the given seconds (default 5) and saves the window's own picture when a
// file name is given. With a number of lines it shows a generated text that long, scrolled
// to its middle.
#include "views/commonmodel.h"
#include "views/commonviewcomponent.h"
#include "views/commonviewcomponentcaret.h"
#include "views/commonviewcomponenthost.h"
#include "views/commonviewcomponentlayoutmanager.h"

#include <QApplication>
#include <QScrollArea>
#include <QTimer>
#include <cstdio>

using namespace tracewin;

namespace {

struct DemoHost : CommonViewComponentHost {
    const CommonModel* getCommonModel() const override { return &model; }
    bool getFocus() const override { return true; }
    void sendBreakpointInfo(int line, bool isSet) override {
        std::printf("breakpoint %d %s\n", line, isSet ? "set" : "cleared");
    }
    void refreshSelectedItemMenu() override {}
    CommonModel model;
};

const char* const page[] = {
    "<%@ page contentType=\"text/html\" %>",
    "<html>",
    "<body>",
    "<% for (int i = 0; i < 3; i++) { %>",
    "  <p>Row <%= i %> of the table</p>",
    "<% } %>",
    "",
    "<%= new java.util.Date() %>",
    "</body>",
    "</html>",
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 5;

    const int generated = argc > 3 ? std::atoi(argv[3]) : 0;

    DemoHost host;
    SourceLines lines;
    for (const char* text : page)
        lines.push_back(std::make_shared<SourceInformation>(host.model, QString::fromUtf8(text)));
    for (int i = 1; i <= generated; ++i)
        lines.push_back(std::make_shared<SourceInformation>(
            host.model, QStringLiteral("out.write(\"row %1\");").arg(lines.size() + 1)));
    host.model.setLines(std::move(lines));

    QScrollArea area;
    area.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    area.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    auto* component = new CommonViewComponent(&host);
    component->setNewLines(&host.model.getLines());
    area.setWidget(component);
    area.resize(420, 260);
    area.setWindowTitle(QStringLiteral("Source text component"));
    area.show();

    const CommonViewComponentLayoutManager& layout = component->getLayoutManager();
    auto marginPoint = [&](int line) {
        return QPoint(5, layout.lineNumberToYCoord(line) + 8);
    };
    component->setBreakpoint(marginPoint(4));
    component->setBreakpoint(marginPoint(6));
    component->setBreakpoint(marginPoint(7)); // blank: beeps, no mark
    component->highlight(4, 4, 6, 7);
    component->getCaret().setPosition(FilePosition(3, 9));
    component->setFocus();
    if (generated > 0) {
        const int middle = generated / 2;
        component->setBreakpoint(marginPoint(middle + 2));
        component->highlight(middle + 1, 5, middle + 3, 9);
        component->getCaret().setPosition(FilePosition(3, middle + 5));
    }

    QTimer::singleShot(seconds * 1000, &app, [&] {
        if (argc > 2)
            area.grab().save(QString::fromLocal8Bit(argv[2]));
        app.quit();
    });
    return app.exec();
}
