#include "core/monitorsettings.h"
#include "pagerunner/pagerunner.h"
#include "panekit/toolpane.h"
#include "support/monitorwindow.h"
#include "tracehook/classpath.h"
#include "tracehook/debugconstants.h"
#include "tracehook/systemproperties.h"
#include "views/browserview.h"
#include "views/commonviewcomponentlayoutmanager.h"
#include "views/javaview.h"
#include "views/monitorevents.h"
#include "views/statustextlabel.h"
#include "views/variablesview.h"

#include <QStatusBar>
#include <QTreeWidget>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>

using namespace tracewin;

namespace {

const std::filesystem::path kResources = TRACEWIN_RESOURCES_DIR;
const std::filesystem::path kExamples = TRACEWIN_EXAMPLES_DIR;

// The monitor's main window in this process, with the stand-in test server running a page
// against it on a thread of its own.
class MonitorPageTest : public testsupport::MonitorWindowTest {
protected:
    MonitorPageTest() : MonitorWindowTest(kResources) {}

    void stopRuntime() override {
        if (runner)
            runner->stop();
    }
    void runPage(const std::string& name) {
        pagerunner::PageRunnerOptions options;
        options.page = (kExamples / name).string();
        options.port = monitorPort();
        options.workDir = (tree.dir.path() / "work").string();
        options.params = {{"user", "Ann"}};
        options.settingsFile = ignoreVariablesKey ? std::string() : settingsFile();
        runner = std::make_unique<pagerunner::PageRunner>(options);
        thread = std::thread([this] {
            runner->run();
            finished = true;
        });
    }
    void walkCompileErrors(const std::string& pagePath, std::size_t count);

    std::string settingsFile() const { return tree.program + "/jspdebug.properties"; }
    bool asksForVariables() const {
        return testsupport::readFile(settingsFile()).find("SendVariables=true") !=
               std::string::npos;
    }
    // The item of a variable below a heading of the Variables view, or null.
    QTreeWidgetItem* variable(const QString& heading, const QString& name) const {
        QTreeWidget* shown = findTool<VariablesView>()->tree();
        for (int g = 0; shown && g < shown->topLevelItemCount(); ++g) {
            QTreeWidgetItem* group = shown->topLevelItem(g);
            for (int i = 0; group->text(0) == heading && i < group->childCount(); ++i)
                if (group->child(i)->text(0) == name)
                    return group->child(i);
        }
        return nullptr;
    }
    QString local(const QString& name) const {
        QTreeWidgetItem* item = variable(QStringLiteral("Locals"), name);
        return item ? item->text(2) : QString();
    }
    // Steps once and waits until the mark has moved.
    bool stepOnce() {
        const std::optional<FilePosition> before = mark();
        choose(SplitPageController::Step);
        return waitForMarkOtherThan(before) || finished;
    }

    // Steps once and waits until the mark has moved, another file shows or the page ended.
    void stepOnceAcrossFiles() {
        ASSERT_TRUE(QTest::qWaitFor([&] { return enabled(SplitPageController::Step); }, 5000));
        const auto old = mark();
        const QString file = jspFileName();
        choose(SplitPageController::Step);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return (mark() && mark() != old) || jspFileName() != file || finished; }, 5000));
    }

    std::unique_ptr<pagerunner::PageRunner> runner;
    bool ignoreVariablesKey = false; // the runtime stands for one that does not know the key
};

TEST_F(MonitorPageTest, StepsRunsToABreakpointAndFastForwardsToTheEnd) {
    runPage("loop.jsp");
    ASSERT_TRUE(QTest::qWaitFor([&] { return jsp->getCanvas() != nullptr; }, 5000));
    EXPECT_EQ(jsp->model().lineCount(), 13);
    EXPECT_EQ(jsp->getModel(), static_cast<panekit::AbstractModel*>(&jsp->model()))
        << "the view shows the framework's model";

    // Step: the mark moves from one position to the next.
    choose(SplitPageController::Step);
    ASSERT_TRUE(waitForMarkOtherThan(std::nullopt));
    const FilePosition first = *mark();
    choose(SplitPageController::Step);
    ASSERT_TRUE(waitForMarkOtherThan(first));
    EXPECT_TRUE(first.isLessThan(*mark()));

    // A breakpoint on the loop body stops an animated run there.
    CommonViewComponent* canvas = jsp->getCanvas();
    const QPoint margin(3, canvas->getLayoutManager().lineNumberToYCoord(8) + 2);
    QTest::mouseDClick(canvas, Qt::LeftButton, {}, margin);
    ASSERT_TRUE(QTest::qWaitFor([&] { return runner->breakpoints(1).count(8) == 1; }, 5000));
    choose(SplitPageController::Run);
    ASSERT_TRUE(QTest::qWaitFor([&] { return state() == States::RUN; }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return state() == States::STEP; }, 10000));
    ASSERT_TRUE(mark());
    EXPECT_EQ(mark()->line, 8);
    EXPECT_FALSE(finished);

    // Without the breakpoint, fast forward runs the page to its end.
    QTest::mouseDClick(canvas, Qt::LeftButton, {}, margin);
    ASSERT_TRUE(QTest::qWaitFor([&] { return runner->breakpoints(1).empty(); }, 5000));
    choose(SplitPageController::FastForward);
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.load(); }, 10000));
    QString output;
    for (const auto& line : html->model().getLines())
        output += line->getViewLine() + "\n";
    EXPECT_NE(output.indexOf("3 squared is 9"), -1) << output.toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !mark(); }, 5000)) << "the end clears the mark";
}

TEST_F(MonitorPageTest, TerminateEndsThePageAndDisablesEveryCommand) {
    runPage("loop.jsp");
    ASSERT_TRUE(waitForCanvas());
    ASSERT_TRUE(waitForButtons("TTTTFF"));
    choose(SplitPageController::Step);
    ASSERT_TRUE(waitForMarkOtherThan(std::nullopt));

    choose(SplitPageController::Terminate);
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.load(); }, 10000))
        << "the page runtime ends the request";
    EXPECT_TRUE(waitForButtons("FFFFFF")) << buttons();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !mark(); }, 5000)) << "the end clears the mark";
    EXPECT_EQ(htmlOutput().indexOf("3 squared is 9"), -1) << "the page did not run on";
}

TEST_F(MonitorPageTest, ABreakpointStopsEachPassOfAnAnimatedRun) {
    runPage("loop.jsp");
    ASSERT_TRUE(waitForCanvas());
    ASSERT_TRUE(waitForButtons("TTTTFF"));
    toggleBreakpoint(8);
    ASSERT_TRUE(QTest::qWaitFor([&] { return runner->breakpoints(1).count(8) == 1; }, 5000));

    // Each Run stops once per pass of the loop body: the spans after the stop that still
    // lie on the breakpoint's line run on, and the next pass stops again.
    const char* const doneBefore[] = {nullptr, "1 squared is 1", "2 squared is 4"};
    const char* const notYet[] = {"1 squared is", "2 squared is", "3 squared is"};
    for (int pass = 0; pass < 3; ++pass) {
        SCOPED_TRACE(pass);
        ASSERT_TRUE(runToStop());
        EXPECT_TRUE(markCovers(8));
        EXPECT_EQ(jsp->getLastBreakptLine(), 8);
        const QString output = htmlOutput();
        if (doneBefore[pass]) {
            EXPECT_NE(output.indexOf(doneBefore[pass]), -1) << output.toStdString();
        }
        EXPECT_EQ(output.indexOf(notYet[pass]), -1) << output.toStdString();
        EXPECT_EQ(buttons(), "TTTTFF");
    }

    // After the last pass the run goes on to the end of the page.
    choose(SplitPageController::Run);
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.load(); }, 10000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return htmlOutput().indexOf("Today is") != -1; }, 5000));
    EXPECT_NE(htmlOutput().indexOf("3 squared is 9"), -1);
}

TEST_F(MonitorPageTest, AnIncludedPageIsListedAndEachFileComesBack) {
    runPage("include.jsp");
    ASSERT_TRUE(waitForCanvas());
    ASSERT_TRUE(jspFileName().endsWith("include.jsp")) << jspFileName().toStdString();
    auto* files = findTool<JspLstView>();
    auto rows = [&] {
        return files->getList() ? files->getList()->count() : 0;
    };
    EXPECT_EQ(rows(), 1);

    // Step until the included page starts: it gets a row of its own.
    for (int i = 0; i < 20 && rows() < 2 && !HasFatalFailure(); ++i)
        stepOnceAcrossFiles();
    ASSERT_EQ(rows(), 2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return jspFileName().endsWith("header.jsp"); }, 5000));
    EXPECT_EQ(files->getList()->currentRow(), 1);
    EXPECT_EQ(jsp->model().getLines().at(0)->getViewLine(), "<div class=\"header\">");

    // Step on until the including page reports back after the header.
    for (int i = 0; i < 20 && !jspFileName().endsWith("include.jsp") && !HasFatalFailure(); ++i)
        stepOnceAcrossFiles();
    ASSERT_TRUE(jspFileName().endsWith("include.jsp")) << jspFileName().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return mark().has_value(); }, 5000))
        << "the including page keeps its highlight";
    EXPECT_GE(mark()->line, 4);
    EXPECT_EQ(files->getList()->currentRow(), 0);
    EXPECT_EQ(jsp->model().lineCount(), 7);
    const auto includeMark = mark();

    // Picking a row shows that file; picking the first row brings include.jsp back as left.
    files->getList()->setCurrentRow(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return jspFileName().endsWith("header.jsp"); }, 5000));
    EXPECT_EQ(jsp->model().lineCount(), 4);
    EXPECT_EQ(jsp->model().getLines().at(0)->getViewLine(), "<div class=\"header\">");
    files->getList()->setCurrentRow(0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return jspFileName().endsWith("include.jsp"); }, 5000));
    EXPECT_EQ(jsp->model().getLines().at(0)->getViewLine(), "<html>");
    EXPECT_EQ(mark(), includeMark);
}

TEST_F(MonitorPageTest, FastForwardFromAnIncludedPageLeavesTheIncludingPageItsOwnOutput) {
    runPage("include.jsp");
    ASSERT_TRUE(waitForCanvas());
    auto* files = findTool<JspLstView>();
    for (int i = 0; i < 20 && !jspFileName().endsWith("header.jsp") && !HasFatalFailure(); ++i)
        stepOnceAcrossFiles();
    ASSERT_TRUE(jspFileName().endsWith("header.jsp"));
    ASSERT_TRUE(stepOnce()) << "the included page stops at its first line";

    // The rest of the request runs without stopping: the included page to its end, then
    // the including page after the include.
    ASSERT_TRUE(QTest::qWaitFor([&] { return enabled(SplitPageController::FastForward); }, 5000));
    choose(SplitPageController::FastForward);
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.load(); }, 10000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !enabled(SplitPageController::Step); }, 5000));

    files->getList()->setCurrentRow(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return jspFileName().endsWith("header.jsp"); }, 5000));
    EXPECT_TRUE(htmlOutput().startsWith("<div class=\"header\">\n<b>Header</b>\n</div>\n"))
        << htmlOutput().toStdString();
    EXPECT_FALSE(htmlOutput().contains("After the header"))
        << "the included page shows only what it wrote";
    files->getList()->setCurrentRow(0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return jspFileName().endsWith("include.jsp"); }, 5000));
    EXPECT_TRUE(htmlOutput().contains("<p>After the header</p>\n</body>\n</html>"))
        << htmlOutput().toStdString();
}

// The buttons while the walk stands on error `index` of `count`.
std::string errorWalkButtons(std::size_t index, std::size_t count) {
    std::string flags = "FFFT";
    flags += index > 0 ? 'T' : 'F';
    flags += index + 1 < count ? 'T' : 'F';
    return flags;
}

// Runs a page that fails to compile with `count` errors and walks them to the last and
// back to the first, checking the mark, the message and the buttons at each one.
void MonitorPageTest::walkCompileErrors(const std::string& pagePath, std::size_t count) {
    runPage(pagePath);
    ASSERT_TRUE(waitForCanvas());
    ASSERT_TRUE(QTest::qWaitFor([&] { return mark() && !jspStatus().trimmed().isEmpty(); }, 5000))
        << "the first error is marked and its message shown";
    EXPECT_TRUE(waitForButtons(errorWalkButtons(0, count)))
        << buttons() << ": no Step or Run, Next error only when more errors follow";
    EXPECT_EQ(state(), States::NEXT_ERR);

    std::vector<std::pair<FilePosition, QString>> seen{{*mark(), jspStatus()}};
    for (std::size_t i = 1; i < count; ++i) {
        SCOPED_TRACE(i);
        choose(SplitPageController::NextErr);
        ASSERT_TRUE(waitForMarkOtherThan(seen.back().first));
        EXPECT_TRUE(seen.back().first.isLessThan(*mark())) << "errors are walked in order";
        ASSERT_TRUE(waitForButtons(errorWalkButtons(i, count))) << buttons();
        seen.emplace_back(*mark(), jspStatus());
    }
    for (std::size_t i = count - 1; i > 0; --i) {
        SCOPED_TRACE(i);
        choose(SplitPageController::PrevErr);
        ASSERT_TRUE(waitForMarkOtherThan(seen[i].first));
        EXPECT_EQ(*mark(), seen[i - 1].first);
        ASSERT_TRUE(waitForButtons(errorWalkButtons(i - 1, count))) << buttons();
        EXPECT_EQ(jspStatus(), seen[i - 1].second);
    }

    choose(SplitPageController::Terminate);
    EXPECT_TRUE(QTest::qWaitFor([&] { return finished.load(); }, 10000));
}

TEST_F(MonitorPageTest, AnOnlyCompileErrorLeavesNoErrorToWalkTo) {
    walkCompileErrors("jsperror.jsp", 1);
    EXPECT_NE(jspStatus().indexOf("Unterminated"), -1) << jspStatus().toStdString();
}

TEST_F(MonitorPageTest, CompileErrorsAreWalkedFromTheFirstToTheLastAndBack) {
    // Two braces that close nothing and one that is never closed: three errors.
    tree.dir.write("pages/braces.jsp", "<html>\n<% } %>\n<p>one</p>\n<% } %>\n"
                                       "<% if (true) { %>\n<p>two</p>\n</html>\n");
    walkCompileErrors((tree.dir.path() / "pages/braces.jsp").string(), 3);
}

TEST_F(MonitorPageTest, APageThatThrowsShowsTheExceptionAndKeepsTheMark) {
    runPage("throws.jsp");
    ASSERT_TRUE(waitForCanvas());
    ASSERT_TRUE(waitForButtons("TTTTFF"));
    choose(SplitPageController::FastForward);
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.load(); }, 10000));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return jspStatus().startsWith(CommonView::labelText("L-RuntimeException")); }, 5000))
        << jspStatus().toStdString();
    EXPECT_NE(jspStatus().indexOf("The basket is empty"), -1) << jspStatus().toStdString();
    ASSERT_TRUE(mark()) << "the highlight marks where the page failed";
    EXPECT_TRUE(markCovers(6)) << mark()->line;
    EXPECT_NE(htmlOutput().indexOf("Before the failure"), -1);
    EXPECT_EQ(htmlOutput().indexOf("Never written"), -1);
    EXPECT_TRUE(waitForButtons("FFFFFF")) << buttons();
}

TEST_F(MonitorPageTest, TheTagStackFollowsTheOutput) {
    runPage("loop.jsp");
    ASSERT_TRUE(waitForCanvas());
    auto* stack = findTool<StackView>();
    auto openTags = [&] {
        std::string tags;
        for (const auto& entry : stack->model().getStack())
            tags += entry.text;
        return tags;
    };
    EXPECT_EQ(openTags(), "");

    // Stopped inside the loop, the list and the elements around it are open.
    ASSERT_TRUE(waitForButtons("TTTTFF"));
    toggleBreakpoint(9);
    ASSERT_TRUE(QTest::qWaitFor([&] { return runner->breakpoints(1).count(9) == 1; }, 5000));
    ASSERT_TRUE(runToStop());
    EXPECT_TRUE(markCovers(9));
    EXPECT_NE(htmlOutput().indexOf("<ul>"), -1) << htmlOutput().toStdString();
    EXPECT_EQ(openTags().find("<html>"), 0u) << openTags();
    EXPECT_NE(openTags().find("<body>"), std::string::npos) << openTags();
    EXPECT_NE(openTags().find("<ul>"), std::string::npos) << openTags();
    EXPECT_EQ(openTags().find("<h1>"), std::string::npos) << "the heading was closed";
    EXPECT_EQ(stack->model().lineCount(), static_cast<int>(stack->model().getStack().size()));

    // At the end every element is closed, without nesting errors.
    toggleBreakpoint(9);
    ASSERT_TRUE(QTest::qWaitFor([&] { return runner->breakpoints(1).empty(); }, 5000));
    choose(SplitPageController::FastForward);
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.load(); }, 10000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return htmlOutput().indexOf("</html>") != -1; }, 5000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return openTags().empty(); }, 5000)) << openTags();
    EXPECT_TRUE(stack->model().errorList().empty());
}

// The window's status bar says what the last tag got wrong, beside the run status.
TEST_F(MonitorPageTest, ANestingErrorIsSaidInTheStatusBar) {
    tree.dir.write("pages/nesting.jsp", "<html>\n<body>\n<p>Closes nothing</font>\n");
    runPage((tree.dir.path() / "pages/nesting.jsp").string());
    ASSERT_TRUE(waitForCanvas());
    ASSERT_TRUE(waitForButtons("TTTTFF"));
    choose(SplitPageController::FastForward);
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.load(); }, 10000));
    auto* said = monitor->frame()->statusBar()->findChild<StatusTextLabel*>();
    ASSERT_NE(said, nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return said->text().contains("</font>"); }, 5000))
        << said->text().toStdString();
    EXPECT_TRUE(said->isVisible());
    EXPECT_GT(said->width(), 100) << "it shares the bar with the run status";
}

TEST_F(MonitorPageTest, ANestingErrorIsListedAndMarkedInTheHtmlView) {
    // A stray end tag last, with the page's elements left open.
    tree.dir.write("pages/nesting.jsp", "<html>\n<body>\n<p>Closes nothing</font>\n");
    runPage((tree.dir.path() / "pages/nesting.jsp").string());
    ASSERT_TRUE(waitForCanvas());
    ASSERT_TRUE(waitForButtons("TTTTFF"));
    choose(SplitPageController::FastForward);
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.load(); }, 10000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return htmlOutput().indexOf("</font>") != -1; }, 5000));

    auto* stack = findTool<StackView>();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !stack->model().errorList().empty(); }, 5000));
    ASSERT_EQ(stack->model().errorList().size(), 1u);
    const HtmlTagErrorInfo& error = stack->model().errorList().front();
    EXPECT_NE(error.getErrMsg().find("</font>"), std::string::npos) << error.getErrMsg();
    ASSERT_TRUE(html->getCanvas());
    auto marked = [&] {
        return html->getCanvas()->getHighlighter().getStartPosition();
    };
    ASSERT_TRUE(marked()) << "the HTML view marks the stray end tag";
    EXPECT_EQ(marked()->line, error.getErrPos().startLine);
    EXPECT_EQ(marked()->pos, error.getErrPos().startPos);

    // The open elements stay on the stack; picking one marks its tag in the HTML view.
    const auto& open = stack->model().getStack();
    ASSERT_EQ(open.size(), 3u);
    EXPECT_EQ(open[0].text, "<html>");
    EXPECT_EQ(open[2].text, "<p>");
    const HtmlTagPosition body = open[1].pos;
    stack->selectLine(1);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return marked() && marked()->line == body.startLine; }, 5000));
    EXPECT_EQ(marked()->pos, body.startPos);
}

} // namespace

// A click on output selects the JSP span and the Java line that wrote it; while stepping,
// the output of the span about to run is marked.
TEST_F(MonitorPageTest, OutputLeadsBackToTheSpanThatWroteIt) {
    runPage("loop.jsp");
    ASSERT_TRUE(waitForCanvas());
    auto* java = findTool<JavaView>();
    ASSERT_NE(java, nullptr);

    // Step until the loop body's template text is about to run the second time: the
    // output of its first pass is marked.
    auto bodyAboutToRunAgain = [&] {
        const TextSpans* marked = html->markedOutput();
        return markCovers(8) && marked && !marked->empty() &&
               htmlOutput().indexOf("1 squared is 1") != -1;
    };
    for (int step = 0; step < 40 && !bodyAboutToRunAgain(); ++step) {
        const auto before = mark();
        choose(SplitPageController::Step);
        ASSERT_TRUE(waitForMarkOtherThan(before));
    }
    ASSERT_TRUE(bodyAboutToRunAgain()) << htmlOutput().toStdString();
    const TextSpan firstPass = html->markedOutput()->front();
    EXPECT_TRUE(html->model().viewLine(firstPass.start.line).contains("<li>") ||
                html->model().viewLine(firstPass.end.line).contains("<li>"))
        << html->model().viewLine(firstPass.start.line).toStdString();

    choose(SplitPageController::FastForward);
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.load(); }, 10000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return htmlOutput().indexOf("Today is") != -1; }, 5000));

    // The third <li>, clicked where it shows.
    int line = 0, column = 0;
    for (int l = 1; l <= html->model().lineCount() && !line; ++l) {
        const QString text = html->model().viewLine(l);
        if (text.contains("3 squared is 9")) {
            line = l;
            column = static_cast<int>(text.indexOf("<li>")) + 2;
        }
    }
    ASSERT_GT(line, 0) << htmlOutput().toStdString();
    ASSERT_GT(column, 1) << html->model().viewLine(line).toStdString();
    CommonViewComponent* output = html->getCanvas();
    output->makeLineVisible(line);
    const auto& layout = output->getLayoutManager();
    const QPoint at =
        QPoint(layout.sourcePositionToXCoord(column) + 2, layout.lineNumberToYCoord(line) + 2) -
        output->contentOffset();
    QTest::mouseClick(output, Qt::LeftButton, {}, at);

    ASSERT_TRUE(QTest::qWaitFor([&] { return jsp->selection() != nullptr; }, 5000));
    const TextSpan selected = jsp->selection()->front();
    EXPECT_LE(selected.start.line, 8);
    EXPECT_GE(selected.end.line, 8) << "the loop body's line";
    ASSERT_TRUE(QTest::qWaitFor([&] { return java->selection() != nullptr; }, 5000));
    const QString javaLine = java->model().viewLine(java->selection()->front().start.line);
    EXPECT_TRUE(javaLine.contains("li")) << javaLine.toStdString();

    // Output no span wrote selects nothing: a click past the end of the text.
    EXPECT_FALSE(html->showOriginAt(FilePosition(1, html->model().lineCount() + 5)));
}

// The monitor with its browser view's engine running.
class MonitorBrowserTest : public MonitorPageTest {
protected:
    void SetUp() override {
        if (!qEnvironmentVariableIsSet("TRACEWIN_BROWSER_VIEW_TESTABLE"))
            GTEST_SKIP() << "the browser view is off in this environment";
        qputenv("TRACEWIN_BROWSER_VIEW", "on");
        started = true;
        MonitorPageTest::SetUp();
    }
    void TearDown() override {
        if (!started)
            return; // skipped: there is no monitor to end
        MonitorPageTest::TearDown();
        qputenv("TRACEWIN_BROWSER_VIEW", "off");
    }
    bool started = false;
    // The text the engine shows, as its page gives it.
    QString renderedText(BrowserView& browser) {
        QString text;
        bool done = false;
        browser.engineView()->page()->toPlainText([&](const QString& t) {
            text = t;
            done = true;
        });
        if (!QTest::qWaitFor([&] { return done; }, 5000))
            return {};
        return text;
    }
};

TEST_F(MonitorBrowserTest, TheBrowserViewRendersTheOutputAsThePageRuns) {
    auto* browser = findTool<BrowserView>();
    ASSERT_NE(browser, nullptr);
    ASSERT_NE(browser->engineView(), nullptr);
    runPage("loop.jsp");
    ASSERT_TRUE(waitForCanvas());
    for (int step = 0; step < 40 && htmlOutput().indexOf("1 squared is 1") == -1; ++step) {
        const auto before = mark();
        choose(SplitPageController::Step);
        ASSERT_TRUE(waitForMarkOtherThan(before));
    }
    ASSERT_NE(htmlOutput().indexOf("1 squared is 1"), -1);
    EXPECT_NE(browser->output().find("<h1>Squares for Ann</h1>"), std::string::npos);
    // Rendered as a browser shows it: the tags gone, the text laid out.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const QString text = renderedText(*browser);
            return text.contains("Squares for Ann") && text.contains("1 squared is 1") &&
                   !text.contains("<li>");
        },
        20000))
        << renderedText(*browser).toStdString();

    // An element of the rendered page leads to the span that wrote it: the list's first
    // item, named, then found under a point of the view.
    EXPECT_FALSE(browser->showOriginOfElement("table", 0)) << "no such element written";
    ASSERT_TRUE(browser->showOriginOfElement("LI", 0));
    ASSERT_TRUE(QTest::qWaitFor([&] { return jsp->selection() != nullptr; }, 5000));
    EXPECT_LE(jsp->selection()->front().start.line, 8);
    EXPECT_GE(jsp->selection()->front().end.line, 8);

    choose(SplitPageController::Step); // the JSP view's selection goes when it is replaced
    QRect item;
    browser->engineView()->page()->runJavaScript(
        "(function(){var r=document.getElementsByTagName('li')[0].getBoundingClientRect();"
        "return [r.left, r.top, r.width, r.height];})()",
        QWebEngineScript::ApplicationWorld, [&](const QVariant& v) {
            const QVariantList r = v.toList();
            if (r.size() == 4)
                item = QRect(r[0].toInt(), r[1].toInt(), r[2].toInt(), r[3].toInt());
        });
    ASSERT_TRUE(QTest::qWaitFor([&] { return item.isValid(); }, 5000));
    auto* java = findTool<JavaView>();
    const TextSpans* before = java->selection();
    browser->showOriginAt(item.center());
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return java->selection() && java->selection() != before; }, 5000));
    const QString javaLine = java->model().viewLine(java->selection()->front().start.line);
    EXPECT_TRUE(javaLine.contains("li")) << javaLine.toStdString();
}

namespace {

TEST_F(MonitorPageTest, TheVariablesViewFollowsTheLoopAndShowsTheParameters) {
    VariablesView* view = findTool<VariablesView>();
    ASSERT_TRUE(view);
    ASSERT_TRUE(QTest::qWaitFor([&] { return asksForVariables(); }, 5000))
        << "the view on show asks the runtimes for variables";
    runPage("loop.jsp");
    ASSERT_TRUE(waitForCanvas());
    ASSERT_TRUE(waitForButtons("TTTTFF"));

    // Step through the page: each stop in the loop body shows the pass it is in, and the
    // loop header shows i changed as each new pass begins.
    std::vector<QString> passes;
    int headersMarked = 0;
    for (int steps = 0; steps < 100 && !finished; ++steps) {
        ASSERT_TRUE(stepOnce());
        if (finished || !(markCovers(7) || markCovers(8)))
            continue;
        ASSERT_TRUE(QTest::qWaitFor([&] { return view->showsTree(); }, 5000));
        QTreeWidgetItem* i = variable(QStringLiteral("Locals"), QStringLiteral("i"));
        if (markCovers(7)) {
            if (i && i->text(2) != QStringLiteral("4"))
                headersMarked += VariablesView::isMarkedChanged(*i) ? 1 : 0;
            continue;
        }
        ASSERT_TRUE(i);
        EXPECT_EQ(i->text(1), QStringLiteral("int"));
        if (passes.empty() || passes.back() != i->text(2))
            passes.push_back(i->text(2));
        QTreeWidgetItem* user =
            variable(QStringLiteral("Request parameters"), QStringLiteral("user"));
        ASSERT_TRUE(user);
        EXPECT_EQ(user->text(2), QStringLiteral("\"Ann\""));
        EXPECT_FALSE(VariablesView::isMarkedChanged(*user)) << "the parameter never changes";
    }
    EXPECT_EQ(passes, (std::vector<QString>{"1", "2", "3"}));
    EXPECT_EQ(headersMarked, 2) << "i changed as passes 2 and 3 began";
    EXPECT_TRUE(QTest::qWaitFor([&] { return finished.load(); }, 10000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !view->message().isEmpty(); }, 5000))
        << "the ended page leaves a note, not stale values";
}

TEST_F(MonitorPageTest, ARuntimeThatIgnoresTheKeyStepsAsBeforeAndTheViewSaysWhy) {
    VariablesView* view = findTool<VariablesView>();
    ASSERT_TRUE(QTest::qWaitFor([&] { return asksForVariables(); }, 5000));
    ignoreVariablesKey = true;
    runPage("loop.jsp");
    ASSERT_TRUE(waitForCanvas());
    ASSERT_TRUE(waitForButtons("TTTTFF"));
    for (int steps = 0; steps < 3; ++steps)
        ASSERT_TRUE(stepOnce());
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return view->message() == QStringLiteral("This page runtime sends no variables."); },
        5000))
        << view->message().toStdString();
    EXPECT_FALSE(view->showsTree());
    choose(SplitPageController::FastForward);
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.load(); }, 10000));
    EXPECT_NE(htmlOutput().indexOf("3 squared is 9"), -1);
}

TEST_F(MonitorPageTest, AConditionalBreakpointStopsFastForwardOnlyWhereItHolds) {
    runPage("loop.jsp");
    ASSERT_TRUE(waitForCanvas());
    ASSERT_TRUE(waitForButtons("TTTTFF"));
    QString error;
    EXPECT_FALSE(jsp->setBreakpointCondition(8, QStringLiteral("i = 2"), &error));
    EXPECT_FALSE(error.isEmpty());
    ASSERT_TRUE(jsp->setBreakpointCondition(8, QStringLiteral("i == 2")));
    EXPECT_EQ(jsp->breakpointCondition(8), QStringLiteral("i == 2"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return runner->breakpoints(1).count(8) == 1; }, 5000))
        << "setting a condition sets the breakpoint";

    // Hidden, the view no longer asks for variables, but the condition still does.
    panekit::ToolPane* pane = findTool<VariablesView>()->getPane();
    ASSERT_TRUE(pane);
    pane->setMinimized(true);
    ASSERT_TRUE(asksForVariables());

    choose(SplitPageController::FastForward);
    ASSERT_TRUE(QTest::qWaitFor([&] { return state() == States::RUN; }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return state() == States::STEP || finished; }, 10000));
    ASSERT_FALSE(finished);
    EXPECT_TRUE(markCovers(8));
    const QString output = htmlOutput();
    EXPECT_NE(output.indexOf("1 squared is 1"), -1) << output.toStdString();
    EXPECT_EQ(output.indexOf("2 squared is"), -1) << "the first pass ran on, the second stopped";
    EXPECT_EQ(jsp->getCanvas()->getHighlighter().getStartPosition()->line, 8);

    // The animated run goes on over the rest of the line and the last pass: no stop more.
    jsp->setRunAnimationDelay(1);
    choose(SplitPageController::Run);
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.load(); }, 20000));
    EXPECT_NE(htmlOutput().indexOf("3 squared is 9"), -1);

    // Clearing the breakpoint takes its condition along; the view hidden, nobody asks.
    toggleBreakpoint(8);
    EXPECT_TRUE(jsp->breakpointCondition(8).isEmpty());
    EXPECT_FALSE(asksForVariables());
    ASSERT_TRUE(jsp->setBreakpointCondition(8, QStringLiteral("i > 0")));
    EXPECT_TRUE(asksForVariables());
    ASSERT_TRUE(jsp->setBreakpointCondition(8, QString()));
    EXPECT_TRUE(jsp->breakpointCondition(8).isEmpty());
    EXPECT_FALSE(asksForVariables()) << "removing the condition leaves a plain breakpoint";
    pane->setMinimized(false);
    EXPECT_TRUE(QTest::qWaitFor([&] { return asksForVariables(); }, 5000));
}

} // namespace
