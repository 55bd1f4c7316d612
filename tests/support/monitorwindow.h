#pragma once

// The monitor's main window in a test process, driven as a user drives it, while a page
// runtime runs a page against it on a thread of its own. Test fixtures derive from it and
// start their runtime on `thread`, setting `finished` when it ends.

#include "app/commandaction.h"
#include "app/monitor.h"
#include "app/monitorcontroller.h"
#include "app/monitorparts.h"
#include "app/splitpagecontroller.h"
#include "core/states.h"
#include "installtree.h"
#include "panekit/application.h"
#include "panekit/workbookframe.h"
#include "tracehook/messagehandler.h"
#include "views/commonviewcomponent.h"
#include "views/commonviewcomponenthighlighter.h"
#include "views/commonviewcomponentlayoutmanager.h"
#include "views/htmlview.h"
#include "views/jsplstview.h"
#include "views/jspview.h"
#include "views/stackview.h"

#include <QTest>
#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>
#include <iostream>
#include <thread>

namespace testsupport {

class MonitorWindowTest : public ::testing::Test {
protected:
    explicit MonitorWindowTest(const std::filesystem::path& resources) : tree{0, resources} {}

    void SetUp() override {
        app = panekit::Application::getApplication(
            QString::fromLatin1(tracewin::Monitor::applicationKey));
        tracewin::registerMonitorParts(app->getPartsFactory());
        app->setExitHandler([](int) {});
        tracewin::Monitor::setExitHandler([](int) {});
        previous = tracehook::MessageHandler::setPresenter([](const auto&) {});
        ::testing::internal::CaptureStdout();
        monitor = std::make_unique<tracewin::Monitor>();
        ASSERT_TRUE(monitor->start({}, tracewin::Monitor::Options{false, false}));
        jsp = findTool<tracewin::JspView>();
        html = findTool<tracewin::HtmlView>();
        page = findTool<tracewin::SplitPageController>();
        ASSERT_TRUE(jsp && html && page && findTool<tracewin::StackView>() &&
                    findTool<tracewin::JspLstView>());
    }
    void TearDown() override {
        stopRuntime();
        if (thread.joinable())
            thread.join();
        if (monitor && monitor->frame())
            delete monitor->frame();
        monitor.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        const std::string out = ::testing::internal::GetCapturedStdout();
        if (HasFailure())
            std::cerr << "The monitor's output:\n" << out;
        tracehook::MessageHandler::setPresenter(previous);
        tracewin::Monitor::setExitHandler({});
        app->setExitHandler({});
    }
    // Asks the page runtime on `thread` to end.
    virtual void stopRuntime() = 0;

    int monitorPort() const {
        return dynamic_cast<tracewin::MonitorController*>(monitor->frame()->getController())
            ->connections()
            .listeningPort();
    }
    template <class T> T* findTool() const { return monitor->frame()->template findTool<T>(); }
    // Chooses a command as a click on its button would.
    void choose(tracewin::SplitPageController::Command command) {
        ASSERT_TRUE(page->action(command)->isEnabled()) << "command " << command;
        page->action(command)->processAction(QStringLiteral("test"));
    }
    std::optional<tracewin::FilePosition> mark() const {
        tracewin::CommonViewComponent* canvas = jsp->getCanvas();
        return canvas ? canvas->getHighlighter().getStartPosition() : std::nullopt;
    }
    bool waitForMarkOtherThan(std::optional<tracewin::FilePosition> old) {
        return QTest::qWaitFor([&] { return mark() && mark() != old; }, 5000);
    }
    bool waitForCanvas(int milliseconds = 5000) {
        return QTest::qWaitFor([&] { return jsp->getCanvas() != nullptr; }, milliseconds);
    }
    // The execution state of the window's debugging session.
    int state() const { return page->session().currentState(); }
    bool enabled(tracewin::SplitPageController::Command command) const {
        return page->action(command)->isEnabled();
    }
    // The enabled flags of Step, Run, Fast forward, Terminate, Previous error, Next error.
    std::string buttons() const {
        std::string flags;
        for (int c = tracewin::SplitPageController::Step;
             c <= tracewin::SplitPageController::NextErr; ++c)
            flags += enabled(static_cast<tracewin::SplitPageController::Command>(c)) ? 'T' : 'F';
        return flags;
    }
    bool waitForButtons(const std::string& flags) {
        return QTest::qWaitFor([&] { return buttons() == flags; }, 5000);
    }
    // Whether the highlighted JSP span covers a line.
    bool markCovers(int line) const {
        tracewin::CommonViewComponent* canvas = jsp->getCanvas();
        if (!canvas)
            return false;
        const auto start = canvas->getHighlighter().getStartPosition();
        const auto end = canvas->getHighlighter().getEndPosition();
        return start && end && start->line <= line && line <= end->line;
    }
    QString htmlOutput() const {
        QString output;
        for (const auto& line : html->model().getLines())
            output += line->getViewLine() + "\n";
        return output;
    }
    QString jspFileName() const { return jsp->model().getFilename().value_or(QString()); }
    QString jspStatus() const { return jsp->statusLineMessage(); }
    // Double-clicks the JSP margin beside a line, as a user sets or clears a breakpoint.
    void toggleBreakpoint(int line) {
        tracewin::CommonViewComponent* canvas = jsp->getCanvas();
        const QPoint margin(3, canvas->getLayoutManager().lineNumberToYCoord(line) + 2);
        QTest::mouseDClick(canvas, Qt::LeftButton, {}, margin);
    }
    // Chooses Run and waits until the run stops (the state falls back to STEP).
    bool runToStop(int milliseconds = 10000) {
        choose(tracewin::SplitPageController::Run);
        return QTest::qWaitFor([&] { return state() == tracewin::States::RUN; }, 5000) &&
               QTest::qWaitFor([&] { return state() == tracewin::States::STEP || finished; },
                               milliseconds) &&
               !finished;
    }

    InstallTree tree;
    panekit::Application* app = nullptr;
    tracehook::MessageHandler::Presenter previous;
    std::unique_ptr<tracewin::Monitor> monitor;
    tracewin::JspView* jsp = nullptr;
    tracewin::HtmlView* html = nullptr;
    tracewin::SplitPageController* page = nullptr;
    std::thread thread;
    std::atomic<bool> finished{false};
};

} // namespace testsupport
