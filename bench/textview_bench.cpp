// The source text component on large texts, in a view's pane: priming a generated Java
// file of 200,000 and of 1,000,000 lines and painting it for the first time ("x_baseline":
// against reading the file and splitting it into lines, in the same run; target: the
// 1,000,000-line file opens in under 1 s); scrolling a 10,000,000-line text to its last
// line and painting it; and one repaint after a scroll for texts of growing length (the
// cost must not grow with the text; "x_baseline" compares a repaint with drawing the same
// visible lines straight into an image).
#include "views/commonviewcomponent.h"
#include "views/commonviewcomponenthost.h"
#include "views/commonviewcomponentlayoutmanager.h"
#include "views/sourcemodels.h"
#include "views/sourcepane.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <fstream>
#include <random>

using namespace tracewin;

namespace {

constexpr int kViewportLines = 40;

struct Host : CommonViewComponentHost {
    const CommonModel* getCommonModel() const override { return &model; }
    bool getFocus() const override { return false; }
    void sendBreakpointInfo(int, bool) override {}
    void refreshSelectedItemMenu() override {}
    JavaModel model;
};

// A generated servlet source: instrumentation calls before most lines, as the page
// compiler writes them.
QString writeJavaFile(const QTemporaryDir& dir, int lines) {
    const QString path = dir.filePath(QStringLiteral("Page%1.java").arg(lines));
    std::ofstream out(path.toStdString());
    for (int i = 1; i <= lines; ++i) {
        if (i % 3 == 0)
            out << "vlmAgent.line(" << i << ");";
        out << "\tout.write(\"<tr><td>row " << i << "</td><td>value</td></tr>\");\n";
    }
    return path;
}

// A shown pane with a viewport of kViewportLines lines, holding a new component.
struct Display {
    explicit Display(Host& host) {
        area.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        area.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        component = new CommonViewComponent(&host, true, &area);
        component->showLines(&host.model.lineList());
        area.setWidget(component);
        component->show();
        area.resize(800, kViewportLines * component->getLayoutManager().getLineHeight() + 40);
        area.show();
    }
    // Paints the part in view, as a repaint of the viewport does, into an image.
    void paintVisible() {
        const QRect visible = component->getVisibleRect().value_or(QRect());
        component->render(&image, QPoint(), QRegion(visible));
    }
    SourcePane area;
    CommonViewComponent* component;
    QImage image{QSize(800, 1200), QImage::Format_RGB32};
};

double baselineMicros(const CommonViewComponent& component, const QSize& size) {
    const auto& layout = component.getLayoutManager();
    QImage image(size, QImage::Format_RGB32);
    QElapsedTimer timer;
    constexpr int rounds = 200;
    timer.start();
    for (int r = 0; r < rounds; ++r) {
        QPainter painter(&image);
        painter.fillRect(image.rect(), Qt::white);
        painter.setFont(component.font());
        for (int line = 1; line <= kViewportLines + 1; ++line)
            painter.drawText(
                QPoint(layout.getSourceAreaStart(),
                       layout.lineNumberToYCoord(line) + layout.getTextWriterAdjustment()),
                layout.lineText(line + r));
    }
    return double(timer.nsecsElapsed()) / 1000.0 / rounds;
}

void BM_PrimeAndFirstPaint(benchmark::State& state) {
    QTemporaryDir dir;
    const QString file = writeJavaFile(dir, int(state.range(0)));
    QElapsedTimer timer;
    double primeMs = 0, showMs = 0;
    for (auto _ : state) {
        Host host;
        timer.start();
        if (!host.model.primeModel(file, true, true)) {
            state.SkipWithError("cannot read the generated file");
            return;
        }
        primeMs += double(timer.nsecsElapsed()) / 1e6;
        timer.start();
        Display display(host);
        display.component->displayCurrentFile(1);
        display.paintVisible();
        showMs += double(timer.nsecsElapsed()) / 1e6;
        benchmark::DoNotOptimize(display.component);
        state.PauseTiming(); // letting go of the text is not part of opening it
        host.model.setLines({});
        state.ResumeTiming();
    }
    state.counters["prime_ms"] = primeMs / double(state.iterations());
    state.counters["show_ms"] = showMs / double(state.iterations());
}
BENCHMARK(BM_PrimeAndFirstPaint)->Arg(200000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// The baseline of opening a file: reading it and splitting it into lines, nothing more.
void BM_ReadAndSplitBaseline(benchmark::State& state) {
    QTemporaryDir dir;
    const QString file = writeJavaFile(dir, int(state.range(0)));
    for (auto _ : state) {
        QFile in(file);
        if (!in.open(QIODevice::ReadOnly)) {
            state.SkipWithError("cannot read the generated file");
            return;
        }
        const QString text = QString::fromUtf8(in.readAll());
        QStringList lines = text.split(u'\n');
        benchmark::DoNotOptimize(lines);
    }
}
BENCHMARK(BM_ReadAndSplitBaseline)->Arg(200000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// A text ten times past the height a widget may have: scrolled to its last line and painted.
void BM_ScrollToTheLastOfTenMillionLines(benchmark::State& state) {
    constexpr int kLines = 10000000;
    Host host;
    SourceLines lines;
    lines.reserve(kLines);
    for (int i = 1; i <= kLines; ++i)
        lines.push_back(std::make_shared<SourceInformation>(host.model, QString::number(i)));
    host.model.setLines(std::move(lines));
    Display display(host);
    for (auto _ : state) {
        display.component->makeLineVisible(1);
        display.component->makeLineVisible(kLines);
        display.paintVisible();
    }
    state.counters["last_visible_line"] = display.component->getLastVisibleLine();
    state.counters["component_height"] = display.component->height();
}
BENCHMARK(BM_ScrollToTheLastOfTenMillionLines)->Iterations(20)->Unit(benchmark::kMicrosecond);

// Giving a component new lines: the layout scans every line once for the longest.
void BM_SetNewLines(benchmark::State& state) {
    QTemporaryDir dir;
    Host host;
    if (!host.model.primeModel(writeJavaFile(dir, int(state.range(0))), true, true)) {
        state.SkipWithError("cannot read the generated file");
        return;
    }
    Display display(host);
    for (auto _ : state)
        display.component->showLines(&host.model.lineList());
}
BENCHMARK(BM_SetNewLines)->Arg(200000)->Unit(benchmark::kMillisecond);

void BM_RepaintAfterScroll(benchmark::State& state) {
    QTemporaryDir dir;
    Host host;
    if (!host.model.primeModel(writeJavaFile(dir, int(state.range(0))), true, true)) {
        state.SkipWithError("cannot read the generated file");
        return;
    }
    Display display(host);
    CommonViewComponent& component = *display.component;
    // A long highlight costs no more than a short one: only its visible lines are drawn.
    component.highlight(2, 5, int(state.range(0)) - 2, 10);
    std::mt19937 random(7);
    std::uniform_int_distribution<int> lines(1, int(state.range(0)));
    QElapsedTimer timer;
    qint64 painted = 0;
    for (auto _ : state) {
        component.scrollLineToVisible(lines(random));
        timer.start();
        display.paintVisible();
        painted += timer.nsecsElapsed();
    }
    component.scrollLineToVisible(int(state.range(0)) / 2);
    state.counters["top_line"] = component.getFirstVisibleLine();
    state.counters["lines_in_view"] =
        component.getLastVisibleLine() - component.getFirstVisibleLine() + 1;
    const double perPaint = double(painted) / 1000.0 / double(state.iterations());
    state.counters["paint_us"] = perPaint;
    state.counters["x_baseline"] =
        perPaint / baselineMicros(component, display.area.viewport()->size());
}
BENCHMARK(BM_RepaintAfterScroll)
    ->Arg(1000)
    ->Arg(20000)
    ->Arg(200000)
    ->Arg(2000000)
    ->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
