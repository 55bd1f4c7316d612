// The HTML view, the tag stack and the status line after every record of produced HTML,
// over a corpus of output shapes, compared with a record taken from the monitor before its
// output handling was made to cost once per record what it cost once per tag. Set
// TRACEWIN_WRITE_GOLDEN to a file name to write the record anew instead of comparing.
// Then the same output among positions, sent one record at a time and all in one write:
// what the views show after the last record is the same either way.
#include "support/monitorwindow.h"
#include "tracehook/jspsourcetable.h"
#include "tracehook/pageruntimerecords.h"
#include "views/javaview.h"

#include <arpa/inet.h>
#include <condition_variable>
#include <cstdint>
#include <fstream>
#include <mutex>
#include <netinet/in.h>
#include <random>
#include <sstream>
#include <sys/socket.h>
#include <unistd.h>

using namespace tracewin;

namespace {

const std::filesystem::path kResources = TRACEWIN_RESOURCES_DIR;
const std::filesystem::path kGolden = TRACEWIN_HTML_GOLDEN;

// ---- The corpus: each shape is the records of one page's output, cut where they fall.

struct Shape {
    std::string name;
    std::vector<std::string> records;
};

class Generator {
public:
    explicit Generator(unsigned seed) : random_(seed) {}
    std::size_t pick(std::size_t n) { return static_cast<std::size_t>(random_() % n); }
    const char* element() {
        static const char* const kElements[] = {"div",  "table", "tr", "td", "ul", "li", "p",
                                                "span", "font",  "b",  "i",  "a",  "TD", "Li"};
        return kElements[pick(std::size(kElements))];
    }
    const char* word() {
        static const char* const kWords[] = {"row",  "value", "&amp;", "price", "&lt;x&gt;",
                                             "item", "42",    "\t",    "  ",    "\r\n"};
        return kWords[pick(std::size(kWords))];
    }
    // Nested elements, most closed, some left open, now and then an end tag that closes
    // nothing; a line feed after about one element in six unless withLineFeeds is false.
    std::string nested(std::size_t bytes, bool withLineFeeds) {
        std::string html;
        std::vector<std::string> open;
        while (html.size() < bytes) {
            const std::size_t choice = pick(100);
            if (choice < 40 && open.size() < 14) {
                const std::string tag = element();
                html += "<" + tag;
                if (tag == "a" || choice < 5)
                    html += " href=\"page.jsp?id=" + std::to_string(pick(1000)) + "\"";
                html += ">";
                open.push_back(tag);
            } else if (choice < 75 && !open.empty()) {
                if (pick(20) != 0)
                    html += "</" + open.back() + ">";
                open.pop_back();
                if (withLineFeeds && pick(6) == 0)
                    html += '\n';
            } else if (choice < 78) {
                html += "</blink>";
            } else {
                html += word();
                html += ' ';
            }
        }
        return html;
    }

private:
    std::mt19937 random_;
};

// Cuts text into pieces of `size` bytes (the last may be shorter).
std::vector<std::string> cut(const std::string& text, std::size_t size) {
    std::vector<std::string> pieces;
    for (std::size_t at = 0; at < text.size(); at += size)
        pieces.push_back(text.substr(at, size));
    return pieces;
}

std::vector<Shape> corpus() {
    std::vector<Shape> shapes;
    Generator g(11);
    shapes.push_back({"nested lines", cut(g.nested(30000, true), 700)});
    shapes.push_back({"one line", cut(g.nested(20000, false), 613)});

    std::string lines;
    for (int i = 0; i < 150; ++i) {
        std::string line = "<tr><td>" + std::to_string(i) + "</td><td>";
        while (line.size() < 70)
            line += g.word();
        line.resize(70);
        lines += line + "</td></tr>" + (i % 7 == 0 ? "\r\n" : "\n");
    }
    shapes.push_back({"lines of 80", cut(lines, 1000)});

    std::string unclosed;
    for (int i = 0; i < 400; ++i)
        unclosed += std::string("<") + g.element() + (i % 9 == 0 ? " class=\"c\">" : ">") + "x";
    shapes.push_back({"opened never closed", cut(unclosed, 450)});

    std::string stray = "<div><p>";
    for (int i = 0; i < 300; ++i) {
        static const char* const kStray[] = {"</blink>", "</br>", "</img>", "</SPAN >", "</td>"};
        stray += kStray[g.pick(std::size(kStray))];
        if (i % 25 == 0)
            stray += "\n";
    }
    shapes.push_back({"end tags closing nothing", cut(stray, 400)});

    std::vector<std::string> oneTag;
    for (int i = 0; i < 200; ++i) {
        const std::size_t k = g.pick(4);
        oneTag.push_back(k == 0   ? std::string("<") + g.element() + ">"
                         : k == 1 ? std::string("</") + g.element() + ">"
                         : k == 2 ? std::string("</blink>")
                                  : std::string("<br/>\n"));
    }
    shapes.push_back({"one tag per record", oneTag});

    std::vector<std::string> odd = {"<div class='a'>",
                                    " ",
                                    "\f",
                                    "   ",
                                    "<",
                                    "SPAN",
                                    " id=x",
                                    ">",
                                    "text\t\tmore",
                                    "<!-- a comment -->",
                                    "<x:tag a='1'/>",
                                    "<>",
                                    "< >",
                                    "<<b>>",
                                    "</",
                                    "span",
                                    ">",
                                    "\r",
                                    "\n\n\n",
                                    "</div>",
                                    "</DIV>",
                                    "<br>",
                                    "</br>",
                                    "<hr/>",
                                    "tail"};
    for (char c : std::string("<table border=1><tr><td>cell</td></tr></table>"))
        odd.push_back(std::string(1, c));
    shapes.push_back({"tags cut anywhere", odd});
    return shapes;
}

// ---- A page runtime that sends one record at a time when the test lets it, or all at once.

class ScriptedRuntime {
public:
    ScriptedRuntime(int port, std::string jsp, std::string java)
        : port_(port), jsp_(std::move(jsp)), java_(std::move(java)) {}

    // On the runtime's thread: the page's head, then each record once allowed; with burst,
    // all of them in one write once the first is allowed, and then their replies.
    void run(const std::vector<std::string>& records, bool burst = false) {
        {
            std::lock_guard lock(mutex_);
            fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        }
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port_));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            return fail();
        tracehook::JspSourceTable table(jsp_, java_);
        table.add(3, 2, 1, 2, 24);
        if (!exchange(*table.getFileInfoStr(1, false)) || !exchange(*table.getLineInfoStr(1, 3)))
            return fail();
        report(0);
        if (burst) {
            std::string wire;
            for (const std::string& record : records)
                wire += tracehook::PageRuntimeRecords::framed(record);
            if (!waitForTurn(0) || !sendAll(wire))
                return fail();
            for (std::size_t k = 0; k < records.size(); ++k) {
                if (!readReply())
                    return fail();
                report(k + 1);
            }
        }
        for (std::size_t k = 0; !burst && k < records.size(); ++k) {
            if (!waitForTurn(k) || !exchange(records[k]))
                return fail();
            report(k + 1);
        }
        if (waitForTurn(records.size()))
            exchange(tracehook::PageRuntimeRecords::clientExit());
        std::lock_guard lock(mutex_);
        ::close(fd_);
        fd_ = -1;
        done_ = true;
    }
    // On the test's thread, without handling its events: the monitor's own thread must
    // not take what the reading thread answered ahead meanwhile.
    bool waitForRepliesAlone(std::size_t n) {
        std::unique_lock lock(mutex_);
        return repliedChanged_.wait_for(lock, std::chrono::seconds(10), [&] {
            return failed_ || replied_ >= n;
        }) && !failed_;
    }
    // On the test's thread: the page's first line was answered.
    bool waitForHeadAnswered() {
        return QTest::qWaitFor(
                   [&] {
                       std::lock_guard lock(mutex_);
                       return failed_ || headAnswered_;
                   },
                   10000) &&
               !failed_;
    }
    // On the test's thread.
    bool waitForReplies(std::size_t n) {
        return QTest::qWaitFor(
                   [&] {
                       std::lock_guard lock(mutex_);
                       return failed_ || replied_ >= n;
                   },
                   10000) &&
               !failed_;
    }
    void allow(std::size_t k) {
        std::lock_guard lock(mutex_);
        allowed_ = k;
        turn_.notify_all();
    }
    // The page's end: its last record answered, its connection closed.
    bool waitForEnd() {
        return QTest::qWaitFor(
            [&] {
                std::lock_guard lock(mutex_);
                return done_ || failed_;
            },
            10000);
    }
    void stop() {
        std::lock_guard lock(mutex_);
        stopped_ = true;
        if (fd_ >= 0)
            ::shutdown(fd_, SHUT_RDWR);
        turn_.notify_all();
    }

private:
    bool exchange(const std::string& record) {
        return sendAll(tracehook::PageRuntimeRecords::framed(record)) && readReply();
    }
    bool sendAll(const std::string& bytes) {
        for (std::size_t sent = 0; sent < bytes.size();) {
            const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            sent += static_cast<std::size_t>(n);
        }
        return true;
    }
    bool readReply() {
        for (char c; ::recv(fd_, &c, 1, 0) == 1;) {
            if (c == '\n')
                return true;
        }
        return false;
    }
    bool waitForTurn(std::size_t k) {
        std::unique_lock lock(mutex_);
        turn_.wait(lock, [&] { return stopped_ || allowed_ > k; });
        return !stopped_;
    }
    void report(std::size_t n) {
        std::lock_guard lock(mutex_);
        headAnswered_ = true;
        replied_ = n;
        repliedChanged_.notify_all();
    }
    void fail() {
        std::lock_guard lock(mutex_);
        failed_ = true;
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
        repliedChanged_.notify_all();
    }

    int port_;
    std::string jsp_, java_;
    int fd_ = -1;
    std::mutex mutex_;
    std::condition_variable turn_, repliedChanged_;
    std::size_t allowed_ = 0, replied_ = 0;
    bool stopped_ = false, failed_ = false, done_ = false, headAnswered_ = false;
};

// ---- What the user sees after a record, in one line.

std::uint64_t fnv(const QString& text, std::uint64_t h = 1469598103934665603ull) {
    for (QChar c : text) {
        h ^= c.unicode();
        h *= 1099511628211ull;
    }
    return h;
}

std::string hex(std::uint64_t h) {
    std::ostringstream out;
    out << std::hex << h;
    return out.str();
}

std::string position(const HtmlTagPosition& p) {
    return std::to_string(p.startLine) + "." + std::to_string(p.startPos) + "-" +
           std::to_string(p.endLine) + "." + std::to_string(p.endPos);
}

// Where a view's highlight is, "none" without one.
std::string markOf(const CommonView* view) {
    CommonViewComponent* canvas = view ? view->getCanvas() : nullptr;
    const auto start = canvas ? canvas->getHighlighter().getStartPosition() : std::nullopt;
    const auto end = canvas ? canvas->getHighlighter().getEndPosition() : std::nullopt;
    if (!start || !end)
        return "none";
    return std::to_string(start->line) + "." + std::to_string(start->pos) + "-" +
           std::to_string(end->line) + "." + std::to_string(end->pos);
}

class HtmlOutputDifferentialTest : public testsupport::MonitorWindowTest {
protected:
    HtmlOutputDifferentialTest() : MonitorWindowTest(kResources) {}

    void stopRuntime() override {
        if (runtime)
            runtime->stop();
    }

    std::string snapshot(const std::string& shape, std::size_t record) const {
        std::uint64_t htmlHash = 1469598103934665603ull;
        for (const auto& line : html->model().getLines())
            htmlHash = fnv(line->getViewLine() + u'\x1f', htmlHash);
        const StackView* stack = findTool<StackView>();
        std::uint64_t stackHash = 1469598103934665603ull;
        for (const auto& line : stack->model().getLines())
            stackHash = fnv(line->getViewLine() + u'\x1f', stackHash);
        std::uint64_t errorHash = 1469598103934665603ull;
        for (const HtmlTagErrorInfo& e : stack->model().errorList())
            errorHash =
                fnv(QString::fromStdString(position(e.getErrPos()) + e.getErrMsg()), errorHash);
        std::ostringstream out;
        out << shape << " #" << record << " html " << html->model().lineCount() << ":"
            << hex(htmlHash) << " stack " << stack->model().lineCount() << ":" << hex(stackHash)
            << " errors " << stack->model().errorList().size() << ":" << hex(errorHash) << " mark "
            << markOf(html) << " status \"" << stack->statusLineMessage().toStdString() << "\"";
        return out.str();
    }

    // The above, and what the rest of the window shows: where the JSP and Java views mark
    // the run, the output marked as the current span's, the origin of each line of output,
    // where the HTML view is scrolled to and the page's status line.
    std::string fullSnapshot(const std::string& shape, std::size_t record) const {
        std::ostringstream out;
        out << snapshot(shape, record) << " jsp " << markOf(jsp) << " java "
            << markOf(findTool<JavaView>()) << " current output";
        if (const TextSpans* marked = html->markedOutput()) {
            for (const TextSpan& span : *marked)
                out << " " << span.start.line << "." << span.start.pos << "-" << span.end.line
                    << "." << span.end.pos;
        }
        out << " origins";
        for (int line = 1; line <= html->model().lineCount(); ++line) {
            const OutputOrigin* origin = html->originAt(FilePosition(1, line));
            out << " " << (origin ? std::to_string(origin->jspStartLine) : "-");
        }
        if (CommonViewComponent* canvas = html->getCanvas())
            out << " scrolled " << canvas->contentOffset().x() << ","
                << canvas->contentOffset().y();
        const RunStatus& status = page->runStatus();
        out << " run " << static_cast<int>(status.kind) << " " << status.file << ":" << status.line;
        return out.str();
    }

    // Lets what the last record set off run to its end: the stack's handling of the tags
    // and the highlight it asks of the HTML view follow the reply as queued jobs.
    static void settle() {
        for (int round = 0; round < 8; ++round)
            QCoreApplication::sendPostedEvents();
    }

    std::unique_ptr<ScriptedRuntime> runtime;
};

TEST_F(HtmlOutputDifferentialTest, EveryRecordLeavesTheViewsAsBefore) {
    tree.dir.write("flood.jsp", "<html><body>\n<%= report.render() %>\n</body></html>\n");
    tree.dir.write("flood_jsp.java", "public class flood_jsp {\n  public void _jspService() {\n"
                                     "    vlmAgent.line(3);out.print(report.render());\n  }\n}\n");
    const std::string jspFile = (tree.dir.path() / "flood.jsp").string();
    const std::string javaFile = (tree.dir.path() / "flood_jsp.java").string();

    std::vector<std::string> seen;
    for (const Shape& shape : corpus()) {
        runtime = std::make_unique<ScriptedRuntime>(monitorPort(), jspFile, javaFile);
        std::vector<std::string> records;
        for (const std::string& piece : shape.records)
            records.push_back(tracehook::PageRuntimeRecords::html("1", piece));
        thread = std::thread([this, records] { runtime->run(records); });
        ASSERT_TRUE(waitForButtons("TTTTFF")) << shape.name << ": the page's first line";
        choose(SplitPageController::FastForward);
        for (std::size_t k = 0; k < shape.records.size(); ++k) {
            runtime->allow(k + 1);
            ASSERT_TRUE(runtime->waitForReplies(k + 1)) << shape.name << " record " << k;
            settle();
            seen.push_back(snapshot(shape.name, k + 1));
        }
        runtime->allow(shape.records.size() + 1);
        ASSERT_TRUE(runtime->waitForEnd()) << shape.name;
        thread.join();
        ASSERT_TRUE(waitForButtons("FFFFFF")) << shape.name << ": the page's end";
    }

    if (const char* out = std::getenv("TRACEWIN_WRITE_GOLDEN")) {
        std::ofstream file(out);
        for (const std::string& line : seen)
            file << line << "\n";
        GTEST_SKIP() << "wrote " << seen.size() << " records to " << out;
    }
    std::ifstream file(kGolden);
    ASSERT_TRUE(file) << kGolden;
    std::vector<std::string> expected;
    for (std::string line; std::getline(file, line);)
        expected.push_back(line);
    ASSERT_EQ(seen.size(), expected.size());
    for (std::size_t i = 0; i < seen.size(); ++i)
        ASSERT_EQ(seen[i], expected[i]) << "the first record whose result differs";
}

// Output of each shape among positions in three places of the page, now and then two
// positions in a row or two pieces of output in a row, and a last piece with no tag, which a
// last position follows when lastPosition is set.
std::vector<std::string> amongPositions(const std::vector<std::string>& pieces,
                                        const tracehook::JspSourceTable& table, bool lastPosition) {
    Generator g(5);
    std::vector<std::string> records;
    auto position = [&] {
        records.push_back(*table.getLineInfoStr(1, static_cast<std::int32_t>(3 + g.pick(3))));
    };
    for (const std::string& piece : pieces) {
        const std::size_t k = g.pick(10);
        if (k < 7)
            position();
        if (k == 7) {
            position();
            position();
        }
        records.push_back(tracehook::PageRuntimeRecords::html("1", piece));
    }
    // Output with no tag last, from a span that wrote none before: the view follows it,
    // whatever the tags before it highlight, and the span's output marked is what it was.
    records.push_back(*table.getLineInfoStr(1, 6));
    records.push_back(tracehook::PageRuntimeRecords::html("1", "the end"));
    if (lastPosition)
        position();
    return records;
}

TEST_F(HtmlOutputDifferentialTest, RecordsTakenTogetherLeaveTheViewsAsOneAtATime) {
    tree.dir.write("flood.jsp",
                   "<html><body>\n<%= a() %>\n<%= b() %>\n<%= c() %>\n</body></html>\n");
    tree.dir.write("flood_jsp.java", "public class flood_jsp {\n  public void _jspService() {\n"
                                     "    out.print(a());\n    out.print(b());\n"
                                     "    out.print(c());\n  }\n}\n");
    const std::string jspFile = (tree.dir.path() / "flood.jsp").string();
    const std::string javaFile = (tree.dir.path() / "flood_jsp.java").string();
    tracehook::JspSourceTable table(jspFile, javaFile);
    table.add(3, 2, 1, 2, 10);
    table.add(4, 3, 1, 3, 10);
    table.add(5, 4, 1, 4, 10);
    table.add(6, 5, 1, 5, 14);

    // Runs the page to the end of its records in Fast forward, one at a time, or all in one
    // write until the window shows what it showed one at a time; tells what it shows then.
    auto runPage = [&](const Shape& shape, const std::vector<std::string>& records,
                       const std::string* oneAtATime) {
        const bool burst = oneAtATime != nullptr;
        runtime = std::make_unique<ScriptedRuntime>(monitorPort(), jspFile, javaFile);
        thread = std::thread([this, records, burst] { runtime->run(records, burst); });
        EXPECT_TRUE(waitForButtons("TTTTFF")) << shape.name << ": the page's first line";
        choose(SplitPageController::FastForward);
        if (burst) {
            // Fast forward answers the page's first line; the rest comes while this thread
            // handles nothing, so that the monitor takes it all at once.
            EXPECT_TRUE(runtime->waitForHeadAnswered()) << shape.name;
            runtime->allow(1);
            EXPECT_TRUE(runtime->waitForRepliesAlone(records.size())) << shape.name;
            // Compared below, whether or not it came to the same.
            (void)QTest::qWaitFor(
                [&] { return fullSnapshot(shape.name, records.size()) == *oneAtATime; }, 5000);
        } else {
            // Each record is taken alone: the next is sent once the monitor took it.
            const RuntimeConnections& connections = findTool<MonitorController>()->connections();
            for (std::size_t k = 0; k < records.size(); ++k) {
                runtime->allow(k + 1);
                EXPECT_TRUE(runtime->waitForReplies(k + 1)) << shape.name << " record " << k;
                EXPECT_TRUE(QTest::qWaitFor([&] { return connections.recordsWaiting() == 0; }))
                    << shape.name << " record " << k;
                settle();
            }
        }
        const std::string seen = fullSnapshot(shape.name, records.size());
        runtime->allow(records.size() + 1);
        EXPECT_TRUE(runtime->waitForEnd()) << shape.name;
        thread.join();
        EXPECT_TRUE(waitForButtons("FFFFFF")) << shape.name << ": the page's end";
        return seen;
    };
    const std::vector<Shape> shapes = corpus();
    for (std::size_t k = 0; k < shapes.size(); ++k) {
        const Shape& shape = shapes[k];
        const std::vector<std::string> records = amongPositions(shape.records, table, k % 2 == 0);
        const std::string oneAtATime = runPage(shape, records, nullptr);
        const std::string together = runPage(shape, records, &oneAtATime);
        EXPECT_EQ(together, oneAtATime) << shape.name;
    }
}

} // namespace
