// Whole-program benchmarks of the monitor, each against a baseline measured in the same
// run (these machines are noisy; the ratios are what count):
//   stepping       the monitor in Fast forward over a page of 100,000 mapped lines run by
//                  the staged pagerunner, against a raw loopback ping-pong of the same
//                  records and replies between two processes; resident memory after 1,000
//                  and 100,000 steps
//   stepping-busy  the same times with a child process spinning on a core all along
//                  (both with the Variables view hidden: no variables on the wire)
//   stepping-variables  the cost of the Variables view per step: a page of 20,000 mapped
//                  lines fast-forwarded with the view hidden and shown, each against the
//                  ping-pong of its own records
//   html:SHAPE     produced HTML of one shape in "%H" records, each waiting for its reply,
//                  against a ping-pong of the same records: MB/s, the time per MB at the
//                  start and at the end (flat: no cost that grows with the output already
//                  shown), and memory per byte of HTML held; each shape in a monitor of its
//                  own (a child process); "html" is every shape
//   startup        process start to the main window shown, against an empty QMainWindow
// Usage: bench_monitor [--rounds N] [--html-mb N] [--tag-count N] [--stage DIR] [stepping]
//                      [stepping-busy] [stepping-variables] [html | html:SHAPE...] [startup]
//                      (all by default)
#include "app/monitor.h"
#include "app/monitorparts.h"
#include "core/installpaths.h"
#include "htmlflood.h"
#include "loopback.h"
#include "monitorharness.h"
#include "panekit/application.h"
#include "panekit/workbookframe.h"
#include "views/htmlview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <malloc.h>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <tuple>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMB = 1000 * 1000;
constexpr std::size_t kDefaultHtmlMegabytes = 50;
constexpr std::size_t kDefaultTagCount = 100000;
// A bound on one shape, generous for the slowest output handling measured (the one-line
// shape at 0.02 MB/s).
constexpr auto kHtmlShapeLimit = std::chrono::hours(2);

// The targets printed beside the figures.
constexpr double kSteppingRatioIdle = 1.3;
constexpr double kSteppingRatioBusy = 2;
constexpr double kCpuPerRecordRatio = 1.5;
constexpr double kHtmlMBPerSecond = 20;
constexpr double kHtmlLastOverFirst = 1.2;
constexpr double kHtmlOverPingPong = 3;
constexpr double kHtmlBytesPerByte = 3;

// The monitor sends the process's standard output and error to its log files; figures
// and failures of the benchmarks go to copies of the streams taken before it starts.
FILE* g_report = stdout;
FILE* g_errors = stderr;

// CPU seconds this process (or only the calling thread) has used, user and system.
double cpuSeconds(int who = RUSAGE_SELF) {
    rusage usage{};
    ::getrusage(who, &usage);
    auto seconds = [](const timeval& t) {
        return t.tv_sec + t.tv_usec / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string selfProgram() {
    return fs::read_symlink("/proc/self/exe").string();
}

// Others may be working on the machine; each benchmark says how busy it was.
void printLoadAverage(const char* when) {
    std::ifstream loadavg("/proc/loadavg");
    std::string one, five, fifteen;
    loadavg >> one >> five >> fifteen;
    std::fprintf(g_report, "load average %s: %s %s %s\n", when, one.c_str(), five.c_str(),
                 fifteen.c_str());
}

// ---- Stepping

// A page whose counted loop reports `lines` mapped lines in all, five per pass, and
// writes one list item per pass.
std::string writeListPage(const fs::path& folder, int passes) {
    const fs::path page = folder / ("list" + std::to_string(passes) + ".jsp");
    std::ofstream(page) << "<% for (int i = 0; i < " << passes << "; i++) { %>\n"
                        << "<li><%= i %></li>\n"
                        << "<% } %>\n";
    return page.string();
}

// A page whose loop only computes: three mapped lines per pass and no output, so that
// nothing the monitor keeps grows with the steps.
std::string writeQuietPage(const fs::path& folder, int passes) {
    const fs::path page = folder / ("quiet" + std::to_string(passes) + ".jsp");
    std::ofstream(page) << "<% int total = 0; %>\n"
                        << "<% for (int i = 0; i < " << passes << "; i++) { %>\n"
                        << "<% total = total + i; %>\n"
                        << "<% } %>\n"
                        << "<p><%= total %></p>\n";
    return page.string();
}

// Passes of a page that make it report about `lines` line records.
int passesFor(const std::function<std::string(int)>& write, const fs::path& work, int lines) {
    const std::size_t perPass = bench::recordConversation(write(2), work).count("%L") -
                                bench::recordConversation(write(1), work).count("%L");
    return static_cast<int>((static_cast<std::size_t>(lines) + perPass / 2) / perPass);
}

// Makes this child die with the benchmark that started it, however the benchmark ends;
// false when it has ended already.
bool followParent(pid_t parent) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    return ::getppid() == parent;
}

// The child of stepping-busy: says it spins, then keeps a core busy until it is killed.
int spinOnACore(pid_t parent) {
    if (!followParent(parent))
        return 1;
    std::printf("spinning\n");
    std::fflush(stdout);
    volatile std::uint64_t turns = 0;
    while (true)
        turns = turns + 1;
}

// Starts the spinning child and returns once it spins.
bench::Child startBusyChild() {
    bench::Child busy(selfProgram(), {"--busy-loop", std::to_string(::getpid())});
    std::string line;
    char c;
    while (busy.started() && ::read(busy.output(), &c, 1) == 1 && c != '\n')
        line += c;
    if (line != "spinning")
        throw std::runtime_error("the busy child did not start spinning");
    busy.closeOutput();
    return busy;
}

// The monitor's resident set after a page of 1,000 steps, then after one of 100,000, in
// the same process.
void benchSteppingMemory(bench::MonitorHarness& monitor, const fs::path& scratch) {
    const fs::path work = monitor.workDir();
    auto quiet = [&](int passes) {
        return writeQuietPage(scratch, passes);
    };
    const std::string small = quiet(passesFor(quiet, work, 1000));
    const std::string large = quiet(passesFor(quiet, work, 100000));
    const std::size_t smallSteps = bench::recordConversation(small, work).count("%L");
    const std::size_t largeSteps = bench::recordConversation(large, work).count("%L");
    if (monitor.fastForwardPage(small) < 0)
        throw std::runtime_error("the 1,000-step page did not run to its end");
    const long afterSmall = bench::residentKiB();
    if (monitor.fastForwardPage(large) < 0)
        throw std::runtime_error("the 100,000-step page did not run to its end");
    const long afterLarge = bench::residentKiB();
    std::fprintf(g_report,
                 "memory: resident %ld KiB after %zu steps, %ld KiB after %zu more steps "
                 "(%+ld KiB)\n",
                 afterSmall, smallSteps, afterLarge, largeSteps, afterLarge - afterSmall);
}

// One round of the stepping times: seconds of each side and its CPU time per record.
struct SteppingRound {
    double pingPong = 0;
    double monitor = 0;
    double answeringCpuMicros = 0;
    double monitorCpuMicros = 0;
    // The monitor's CPU split between its user-interface thread and the other threads.
    double monitorMainThreadMicros = 0;
    double monitorOtherThreadsMicros = 0;
};

SteppingRound timeSteppingRound(bench::MonitorHarness& monitor, const std::string& page,
                                const bench::Conversation& conversation, const fs::path& scratch) {
    // CPU time of this process: the answering side of the ping-pong, then the monitor.
    const double records = static_cast<double>(conversation.records.size());
    SteppingRound round;
    const double cpu0 = cpuSeconds();
    round.pingPong = bench::pingPong(conversation, selfProgram(), scratch);
    const double cpu1 = cpuSeconds();
    const double ownThread1 = cpuSeconds(RUSAGE_THREAD);
    round.monitor = monitor.fastForwardPage(page);
    const double cpu2 = cpuSeconds();
    const double ownThread2 = cpuSeconds(RUSAGE_THREAD);
    if (round.monitor < 0)
        throw std::runtime_error("the page did not run to its end under the monitor");
    round.answeringCpuMicros = (cpu1 - cpu0) / records * 1e6;
    round.monitorCpuMicros = (cpu2 - cpu1) / records * 1e6;
    // This thread is the monitor's user-interface thread; the rest went to reading.
    round.monitorMainThreadMicros = (ownThread2 - ownThread1) / records * 1e6;
    round.monitorOtherThreadsMicros = round.monitorCpuMicros - round.monitorMainThreadMicros;
    return round;
}

// The page with output, baseline and monitor taking turns, the Variables view hidden; with
// a core kept busy by a child when busy is set.
void benchSteppingTime(bench::MonitorHarness& monitor, const fs::path& scratch, int rounds,
                       bool busy) {
    const char* name = busy ? "stepping-busy" : "stepping";
    monitor.showVariables(false);
    auto list = [&](int passes) {
        return writeListPage(scratch, passes);
    };
    const std::string page = list(passesFor(list, monitor.workDir(), 100000));
    const bench::Conversation conversation = bench::recordConversation(page, monitor.workDir());
    std::fprintf(g_report, "%s: %zu line records, %zu records in all (%zu bytes)%s\n", name,
                 conversation.count("%L"), conversation.records.size(), conversation.bytes(),
                 busy ? ", a child spinning on a core all along" : "");
    printLoadAverage("before");
    std::optional<bench::Child> spinner;
    if (busy)
        spinner.emplace(startBusyChild());
    std::vector<double> ratios, answeringCpu, monitorCpu;
    for (int r = 1; r <= rounds; ++r) {
        const SteppingRound round = timeSteppingRound(monitor, page, conversation, scratch);
        const double records = static_cast<double>(conversation.records.size());
        ratios.push_back(round.monitor / round.pingPong);
        answeringCpu.push_back(round.answeringCpuMicros);
        monitorCpu.push_back(round.monitorCpuMicros);
        std::fprintf(g_report,
                     "  round %d: ping-pong %.2f s (%.0f round trips/s), monitor %.2f s "
                     "(%.0f records/s), ratio %.2f; CPU per record: answering side %.1f us, "
                     "monitor %.1f us (user-interface thread %.1f, other threads %.1f)\n",
                     r, round.pingPong, records / round.pingPong, round.monitor,
                     records / round.monitor, ratios.back(), round.answeringCpuMicros,
                     round.monitorCpuMicros, round.monitorMainThreadMicros,
                     round.monitorOtherThreadsMicros);
    }
    if (spinner)
        spinner->kill();
    printLoadAverage("after");
    std::fprintf(g_report, "%s ratio (median of %d): %.2f  [target <= %.1f]\n", name, rounds,
                 median(ratios), busy ? kSteppingRatioBusy : kSteppingRatioIdle);
    std::fprintf(g_report,
                 "%s CPU per record (medians): answering side %.1f us, monitor %.1f us, "
                 "monitor / answering side %.2f  [target <= %.1f]\n",
                 name, median(answeringCpu), median(monitorCpu),
                 median(monitorCpu) / median(answeringCpu), kCpuPerRecordRatio);
    std::fprintf(g_report, "memory after: %ld KiB\n", bench::residentKiB());
}

// What the Variables view costs a step: the same page fast-forwarded with the view hidden
// and shown, each against the ping-pong of its own records (shown, each stop sends its
// variables first).
void benchSteppingVariables(bench::MonitorHarness& monitor, const fs::path& scratch, int rounds) {
    auto list = [&](int passes) {
        return writeListPage(scratch, passes);
    };
    const std::string page = list(passesFor(list, monitor.workDir(), 20000));
    const bench::Conversation plain = bench::recordConversation(page, monitor.workDir());
    const bench::Conversation withVariables =
        bench::recordConversation(page, monitor.workDir(), true);
    const double steps = static_cast<double>(plain.count("%L"));
    std::fprintf(g_report,
                 "stepping-variables: %.0f steps; %zu records hidden, %zu shown (%zu bytes)\n",
                 steps, plain.records.size(), withVariables.records.size(), withVariables.bytes());
    printLoadAverage("before");
    std::vector<double> hiddenMicros, shownMicros, shownRatios;
    for (int r = 1; r <= rounds; ++r) {
        monitor.showVariables(false);
        const SteppingRound hidden = timeSteppingRound(monitor, page, plain, scratch);
        monitor.showVariables(true);
        const SteppingRound shown = timeSteppingRound(monitor, page, withVariables, scratch);
        hiddenMicros.push_back(hidden.monitor / steps * 1e6);
        shownMicros.push_back(shown.monitor / steps * 1e6);
        shownRatios.push_back(shown.monitor / shown.pingPong);
        std::fprintf(g_report,
                     "  round %d: per step hidden %.1f us, shown %.1f us (+%.1f us); shown "
                     "against its ping-pong %.2f\n",
                     r, hiddenMicros.back(), shownMicros.back(),
                     shownMicros.back() - hiddenMicros.back(), shownRatios.back());
    }
    monitor.showVariables(false);
    printLoadAverage("after");
    std::fprintf(g_report,
                 "stepping-variables per step (medians): hidden %.1f us, shown %.1f us, cost of "
                 "the view %.1f us a step; shown / its ping-pong %.2f\n",
                 median(hiddenMicros), median(shownMicros),
                 median(shownMicros) - median(hiddenMicros), median(shownRatios));
}

// ---- HTML in shapes

// The sizes of the HTML shapes: bytes for most, a count of tags for the others.
struct HtmlSizes {
    std::size_t bytes = kDefaultHtmlMegabytes * kMB;
    std::size_t tags = kDefaultTagCount;
};

// The client's progress: HTML bytes answered and the milliseconds since its clock started.
struct Mark {
    double bytes = 0;
    double ms = 0;
};

// The time per MB over part of a page, and how much of it.
struct Window {
    double megabytes = 0;
    double msPerMB = 0;
};

Window windowBetween(const Mark& from, const Mark& to) {
    const double megabytes = (to.bytes - from.bytes) / kMB;
    return {megabytes, megabytes > 0 ? (to.ms - from.ms) / megabytes : 0};
}

// The monitor's memory: its resident set, with what the allocator keeps free given back
// first, and the bytes its allocations hold (the resident set also counts the allocator's
// overhead and what it cannot give back).
struct MemoryUse {
    long residentKiB = 0;
    double heapBytes = 0;
};

MemoryUse memoryInUse() {
    ::malloc_trim(0);
    const struct mallinfo2 heap = ::mallinfo2();
    return {bench::residentKiB(), static_cast<double>(heap.uordblks + heap.hblkhd)};
}

// The figures of one shape.
struct ShapeRun {
    std::string name;
    double bytes = 0;
    std::size_t records = 0;
    double seconds = 0;
    Window first, last;
    bool fifths = false; // windows of a fifth of the page, for pages under 10 MB
    double pingPong = 0;
    MemoryUse before, after;
    std::size_t linesHeld = 0;
    double cpuSeconds = 0;

    double cpuMsPerMB() const { return cpuSeconds * 1000 / (bytes / kMB); }
    double mbPerSecond() const { return bytes / kMB / seconds; }
    double lastOverFirst() const { return last.msPerMB / first.msPerMB; }
    double overPingPong() const { return seconds / pingPong; }
    long residentGrowthKiB() const { return after.residentKiB - before.residentKiB; }
    double residentPerByte() const {
        return static_cast<double>(residentGrowthKiB()) * 1024 / bytes;
    }
    double heapPerByte() const { return (after.heapBytes - before.heapBytes) / bytes; }
};

// HTML bytes before each record, and after the last.
std::vector<double> bytesBefore(const std::vector<std::string>& texts) {
    std::vector<double> before{0};
    for (const std::string& text : texts)
        before.push_back(before.back() + static_cast<double>(text.size()));
    return before;
}

// Progress marks every MB, or every tenth of a page under 10 MB, so that the windows of
// the growth hold whole marks.
std::size_t reportEvery(std::size_t records, double bytes) {
    if (bytes >= 10 * kMB)
        return std::max<std::size_t>(1, static_cast<std::size_t>(records * kMB / bytes + 0.5));
    return std::max<std::size_t>(1, (records + 9) / 10);
}

// The client's lines "records milliseconds" as marks; its last line follows the page's
// end record, which carries no HTML.
std::vector<Mark> parseMarks(const std::string& report, const std::vector<double>& before) {
    std::vector<Mark> marks{Mark{}};
    std::istringstream lines(report);
    std::size_t records = 0;
    double ms = 0;
    while (lines >> records >> ms)
        marks.push_back({before[std::min(records, before.size() - 1)], ms});
    if (marks.size() < 3 || marks.back().bytes < before.back())
        throw std::runtime_error("the HTML client's report is incomplete");
    return marks;
}

// The time per MB of the first and of the last `window` bytes.
std::pair<Window, Window> endWindows(const std::vector<Mark>& marks, double window) {
    const Mark& end = marks.back();
    const auto firstEnd =
        std::find_if(marks.begin(), marks.end(), [&](const Mark& m) { return m.bytes >= window; });
    Mark lastStart = marks.front();
    for (const Mark& m : marks)
        if (m.bytes <= end.bytes - window)
            lastStart = m;
    return {windowBetween(marks.front(), *firstEnd), windowBetween(lastStart, end)};
}

void setNonBlocking(int fd) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

// Appends what the pipe holds now, without waiting.
void drainPipe(int fd, std::string& into) {
    char buf[4096];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;)
        into.append(buf, static_cast<std::size_t>(n));
}

// What the HTML client reported, and the monitor's memory with the page's HTML still to
// come and with all of it held.
struct MonitoredFlood {
    std::string report;
    MemoryUse before, after;
    double cpuSeconds = 0; // the monitor's, from Fast forward to the client's end
};

// Runs the HTML client on the conversation file against the monitor in Fast forward. Its
// connection is a new page: the monitor clears the last one when it comes.
MonitoredFlood floodTheMonitor(bench::MonitorHarness& monitor, const fs::path& file,
                               std::size_t every) {
    using bench::MonitorHarness;
    bench::Child client(selfProgram(), {"--html-client", std::to_string(monitor.port()),
                                        file.string(), std::to_string(every)});
    if (!client.started())
        throw std::runtime_error("cannot start the HTML client");
    MonitorHarness::runUntil([&] { return monitor.pageReady() || client.poll().has_value(); },
                             std::chrono::seconds(30));
    if (!monitor.pageReady()) {
        const std::optional<int> code = client.poll();
        throw std::runtime_error(
            "the HTML client's page did not reach the monitor" +
            (code ? " (the client ended with exit code " + std::to_string(*code) + ")"
                  : std::string(" within 30 s")));
    }
    // What the last page left to free is freed before the count starts.
    MonitorHarness::settle();
    MonitoredFlood flood;
    flood.before = memoryInUse();
    setNonBlocking(client.output());
    const double cpuBefore = cpuSeconds();
    monitor.chooseFastForward();
    // The client is looked at every few milliseconds, not after every event: two system
    // calls a record would count as the monitor's own work.
    QElapsedTimer sinceLook;
    sinceLook.start();
    const bool ended = MonitorHarness::runUntil(
        [&] {
            if (sinceLook.elapsed() < 5)
                return false;
            sinceLook.restart();
            drainPipe(client.output(), flood.report);
            return client.poll().has_value();
        },
        std::chrono::duration_cast<std::chrono::seconds>(kHtmlShapeLimit));
    if (!ended)
        throw std::runtime_error("the HTML client did not finish within the time allowed");
    drainPipe(client.output(), flood.report);
    flood.cpuSeconds = cpuSeconds() - cpuBefore;
    if (const int code = client.wait(); code != 0)
        throw std::runtime_error("the HTML client failed (exit code " + std::to_string(code) + ")");
    MonitorHarness::settle();
    flood.after = memoryInUse();
    return flood;
}

ShapeRun runHtmlShape(bench::MonitorHarness& monitor, const fs::path& scratch,
                      const bench::FloodPage& page, bench::HtmlShape shape,
                      const HtmlSizes& sizes) {
    ShapeRun run;
    run.name = bench::htmlShapeName(shape);
    std::vector<double> before;
    bench::Conversation conversation;
    {
        const std::vector<std::string> texts =
            bench::htmlShapeRecords(shape, sizes.bytes, sizes.tags);
        before = bytesBefore(texts);
        conversation = bench::floodConversation(page, texts);
    }
    run.bytes = before.back();
    run.records = before.size() - 1;
    const fs::path file = scratch / (run.name + ".records");
    bench::saveConversation(conversation, file);

    run.pingPong = bench::pingPong(conversation, selfProgram(), scratch);
    // The conversation stays alive through the monitor's run, so that it counts in both
    // memory figures and in neither difference.
    const MonitoredFlood flood =
        floodTheMonitor(monitor, file, reportEvery(run.records, run.bytes));
    fs::remove(file);
    run.before = flood.before;
    run.after = flood.after;
    run.cpuSeconds = flood.cpuSeconds;
    run.linesHeld = static_cast<std::size_t>(monitor.htmlView().model().lineCount());

    const std::vector<Mark> marks = parseMarks(flood.report, before);
    run.seconds = marks.back().ms / 1000;
    run.fifths = run.bytes < 10 * kMB;
    std::tie(run.first, run.last) = endWindows(marks, run.fifths ? run.bytes / 5 : 5 * kMB);
    return run;
}

void printShapeRun(const ShapeRun& run) {
    std::fprintf(g_report, "html %s: %.2f MB in %zu records, %.2f s, %.2f MB/s  [target >= %.0f]\n",
                 run.name.c_str(), run.bytes / kMB, run.records, run.seconds, run.mbPerSecond(),
                 kHtmlMBPerSecond);
    std::fprintf(g_report,
                 "  time per MB: first %.2f MB %.0f ms, last %.2f MB %.0f ms, last/first %.2f  "
                 "[target <= %.1f]%s\n",
                 run.first.megabytes, run.first.msPerMB, run.last.megabytes, run.last.msPerMB,
                 run.lastOverFirst(), kHtmlLastOverFirst,
                 run.fifths ? "  (a fifth of the page at each end: under 10 MB)" : "");
    std::fprintf(g_report,
                 "  ping-pong of the same records %.3f s; monitor / ping-pong %.1f  "
                 "[target <= %.0f]\n",
                 run.pingPong, run.overPingPong(), kHtmlOverPingPong);
    std::fprintf(g_report,
                 "  the monitor's CPU time %.2f s, %.0f ms per MB (%.0f %% of the time)\n",
                 run.cpuSeconds, run.cpuMsPerMB(), 100 * run.cpuSeconds / run.seconds);
    std::fprintf(g_report,
                 "  resident %ld KiB before the page, %ld KiB with it held (%+ld KiB): %.2f bytes "
                 "per byte of HTML  [target <= %.0f]\n",
                 run.before.residentKiB, run.after.residentKiB, run.residentGrowthKiB(),
                 run.residentPerByte(), kHtmlBytesPerByte);
    std::fprintf(g_report, "  heap in use %+.0f KiB: %.2f bytes per byte of HTML; %zu lines held\n",
                 (run.after.heapBytes - run.before.heapBytes) / 1024, run.heapPerByte(),
                 run.linesHeld);
}

// The table of the shapes: its heading, then a row each.
void printShapeTableHeading() {
    std::fprintf(g_report,
                 "html shapes (targets: >= %.0f MB/s, last/first <= %.1f, <= %.0f x ping-pong, "
                 "<= %.0f bytes per byte resident)\n",
                 kHtmlMBPerSecond, kHtmlLastOverFirst, kHtmlOverPingPong, kHtmlBytesPerByte);
    std::fprintf(g_report, "  %-10s %8s %8s %9s %8s %11s %11s %6s %11s %9s %7s %8s %9s\n", "shape",
                 "MB", "records", "seconds", "MB/s", "first ms/MB", "last ms/MB", "l/f",
                 "ping-pong s", "x p-p", "B/B res", "B/B heap", "CPU ms/MB");
}

std::string shapeTableRow(const ShapeRun& run) {
    char row[256];
    std::snprintf(
        row, sizeof row,
        "  %-10s %8.3f %8zu %9.2f %8.3f %11.0f %11.0f %6.2f %11.3f %9.1f %7.2f %8.2f %9.0f",
        run.name.c_str(), run.bytes / kMB, run.records, run.seconds, run.mbPerSecond(),
        run.first.msPerMB, run.last.msPerMB, run.lastOverFirst(), run.pingPong, run.overPingPong(),
        run.residentPerByte(), run.heapPerByte(), run.cpuMsPerMB());
    return row;
}

// A page of one record of nested HTML, so that the one-time costs of the first page shown
// (fonts, glyph caches, the views' first layout) are not counted in a shape.
void warmUp(bench::MonitorHarness& monitor, const fs::path& scratch, const bench::FloodPage& page) {
    const fs::path file = scratch / "warm-up.records";
    bench::saveConversation(bench::floodConversation(page, {bench::generateHtml(5000, 1)}), file);
    floodTheMonitor(monitor, file, 1);
}

// A shape's child marks its row of the table so; all else it prints is passed on.
constexpr std::string_view kTableRowMark = "table row:";

// The child that measures one shape, in a monitor of its own: no page before it leaves
// memory to reuse or state to clear.
int runHtmlShapeChild(int argc, char** argv, bench::HtmlShape shape, const fs::path& stage,
                      const HtmlSizes& sizes) {
    tracewin::Monitor::prepareProcess();
    QApplication app(argc, argv);
    QTemporaryDir scratchDir;
    const fs::path scratch = scratchDir.path().toStdString();
    bench::MonitorHarness monitor(stage);
    const bench::FloodPage page = bench::writeFloodPage(scratch);
    warmUp(monitor, scratch, page);
    const ShapeRun run = runHtmlShape(monitor, scratch, page, shape, sizes);
    printShapeRun(run);
    std::fprintf(g_report, "%s%s\n", kTableRowMark.data(), shapeTableRow(run).c_str());
    return 0;
}

// Passes on the child's output as it comes, keeping back its table rows; returns when the
// child has closed its output.
void relayShapeOutput(const bench::Child& child, std::vector<std::string>& rows) {
    std::string pending;
    char buf[4096];
    for (ssize_t n; (n = ::read(child.output(), buf, sizeof buf)) > 0;) {
        pending.append(buf, static_cast<std::size_t>(n));
        for (std::size_t eol; (eol = pending.find('\n')) != std::string::npos;) {
            const std::string line = pending.substr(0, eol + 1);
            pending.erase(0, eol + 1);
            if (line.starts_with(kTableRowMark))
                rows.push_back(line.substr(kTableRowMark.size()));
            else
                std::fputs(line.c_str(), g_report);
        }
    }
}

// Each shape in a child of its own, one after another, then the table of all.
void benchHtml(const std::set<bench::HtmlShape>& shapes, const fs::path& stage,
               const HtmlSizes& sizes) {
    std::vector<std::string> rows;
    for (bench::HtmlShape shape : shapes) {
        const std::string name(bench::htmlShapeName(shape));
        printLoadAverage("before");
        bench::Child child(selfProgram(),
                           {"--html-shape", name, stage.string(), std::to_string(sizes.bytes),
                            std::to_string(sizes.tags), std::to_string(::getpid())});
        if (!child.started())
            throw std::runtime_error("cannot start the child for html:" + name);
        relayShapeOutput(child, rows);
        if (const int code = child.wait(); code != 0)
            throw std::runtime_error("the child for html:" + name + " failed (exit code " +
                                     std::to_string(code) + ")");
        printLoadAverage("after");
    }
    printShapeTableHeading();
    for (const std::string& row : rows)
        std::fputs(row.c_str(), g_report);
}

// ---- Start-up

// Milliseconds from starting a child until it reports its window shown.
double timeToShown(const std::vector<std::string>& arguments) {
    const auto start = std::chrono::steady_clock::now();
    bench::Child child(selfProgram(), arguments);
    if (!child.started())
        throw std::runtime_error("cannot start the start-up child");
    std::string line;
    char c;
    while (::read(child.output(), &c, 1) == 1 && c != '\n')
        line += c;
    const auto shown = std::chrono::steady_clock::now();
    child.closeOutput();
    if (child.wait() != 0 || line != "shown")
        throw std::runtime_error("the start-up child did not show its window");
    return std::chrono::duration<double, std::milli>(shown - start).count();
}

void benchStartup(const fs::path& stage, int rounds) {
    std::vector<double> empty, monitor, ratios;
    for (int round = 1; round <= rounds; ++round) {
        QTemporaryDir root;
        empty.push_back(timeToShown({"--startup-empty"}));
        monitor.push_back(
            timeToShown({"--startup-monitor", stage.string(), root.path().toStdString()}));
        ratios.push_back(monitor.back() / empty.back());
        std::fprintf(g_report, "  round %d: empty window %.0f ms, monitor %.0f ms, ratio %.2f\n",
                     round, empty.back(), monitor.back(), ratios.back());
    }
    std::fprintf(g_report,
                 "startup (medians of %d): empty window %.0f ms, monitor %.0f ms, ratio %.2f\n",
                 rounds, median(empty), median(monitor), median(ratios));
}

// The children of the start-up benchmark: report "shown" on standard output when the
// window is exposed and leave at once.
int showEmptyWindow(int argc, char** argv) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.resize(1000, 700);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    std::printf("shown\n");
    std::fflush(stdout);
    std::_Exit(0);
}

int showMonitorWindow(int argc, char** argv, const fs::path& stage, const fs::path& root) {
    // The monitor sends its own output to its log files; keep a way to the parent.
    const int report = ::dup(STDOUT_FILENO);
    tracewin::Monitor::prepareProcess();
    QApplication app(argc, argv);
    tracewin::setUpInstallPaths(bench::prepareInstallCopy(stage, root));
    tracewin::registerMonitorParts(
        panekit::Application::getApplication(QString::fromLatin1(tracewin::Monitor::applicationKey))
            ->getPartsFactory());
    tracewin::Monitor monitor;
    if (!monitor.start({}, tracewin::Monitor::Options{}) || !monitor.frame() ||
        !QTest::qWaitForWindowExposed(monitor.frame()))
        return 1;
    if (::write(report, "shown\n", 6) != 6)
        return 1;
    std::_Exit(0);
}

// ---- The command line

// A whole number of at least `minimum` for an option; bad input is a clear message.
std::size_t parseCount(const std::string& text, const std::string& option, std::size_t minimum) {
    std::size_t used = 0;
    unsigned long value = 0;
    try {
        value = std::stoul(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != text.size() || text[0] == '-' || value < minimum)
        throw std::invalid_argument(option + " wants a whole number of at least " +
                                    std::to_string(minimum) + ", not '" + text + "'");
    return value;
}

struct Choices {
    int rounds = 3;
    HtmlSizes htmlSizes;
    fs::path stage = TRACEWIN_STAGE_DIR;
    std::set<std::string> benchmarks; // stepping, stepping-busy, stepping-variables, html, startup
    std::set<bench::HtmlShape> shapes;
};

// Adds the benchmark an argument names; false when it names none.
bool choose(const std::string& name, Choices& choices) {
    if (name == "stepping" || name == "stepping-busy" || name == "stepping-variables" ||
        name == "startup") {
        choices.benchmarks.insert(name);
        return true;
    }
    if (name == "html") {
        choices.benchmarks.insert(name);
        choices.shapes.insert(bench::allHtmlShapes().begin(), bench::allHtmlShapes().end());
        return true;
    }
    const std::optional<bench::HtmlShape> shape =
        name.starts_with("html:") ? bench::htmlShapeNamed(name.substr(5)) : std::nullopt;
    if (shape) {
        choices.benchmarks.insert("html");
        choices.shapes.insert(*shape);
    }
    return shape.has_value();
}

// The choices on the command line; nullopt when an argument means nothing here.
std::optional<Choices> parseChoices(const std::vector<std::string>& args) {
    Choices choices;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const bool hasValue = i + 1 < args.size();
        if (args[i] == "--rounds" && hasValue)
            choices.rounds = static_cast<int>(parseCount(args[++i], "--rounds", 1));
        else if (args[i] == "--html-mb" && hasValue)
            choices.htmlSizes.bytes = parseCount(args[++i], "--html-mb", 1) * kMB;
        else if (args[i] == "--tag-count" && hasValue)
            choices.htmlSizes.tags = parseCount(args[++i], "--tag-count", 100);
        else if (args[i] == "--stage" && hasValue)
            choices.stage = args[++i];
        else if (!choose(args[i], choices))
            return std::nullopt;
    }
    if (choices.benchmarks.empty())
        for (const char* name :
             {"stepping", "stepping-busy", "stepping-variables", "html", "startup"})
            choose(name, choices);
    return choices;
}

void printUsage() {
    std::cerr << "Usage: bench_monitor [--rounds N] [--html-mb N] [--tag-count N] [--stage DIR]\n"
                 "                     [stepping] [stepping-busy] [stepping-variables]\n"
                 "                     [html | html:SHAPE...] [startup]\n"
                 "  SHAPE:";
    for (bench::HtmlShape shape : bench::allHtmlShapes())
        std::cerr << ' ' << bench::htmlShapeName(shape);
    std::cerr << "\n  --html-mb N    MB of the shapes measured in bytes (50)\n"
                 "  --tag-count N  elements of unclosed, records of pertag (100000)\n";
}

// The roles this program plays as a child of the benchmarks; nullopt for the benchmarks.
// The standard streams the figures and failures go to, taken before the monitor sends
// the process's own to its log files.
bool openReportStreams() {
    g_report = fdopen(::dup(STDOUT_FILENO), "w");
    g_errors = fdopen(::dup(STDERR_FILENO), "w");
    if (!g_report || !g_errors)
        return false;
    std::setvbuf(g_report, nullptr, _IOLBF, 0);
    return true;
}

std::optional<int> runChildRole(const std::vector<std::string>& args, int argc, char** argv) {
    if (args.size() == 3 && args[0] == "--ping-client")
        return bench::runPingClient(std::stoi(args[1]), args[2]);
    if (args.size() == 4 && args[0] == "--html-client")
        return bench::runHtmlClient(std::stoi(args[1]), args[2], std::stoul(args[3]));
    if (args.size() == 2 && args[0] == "--busy-loop")
        return spinOnACore(static_cast<pid_t>(std::stol(args[1])));
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    if (args.size() == 1 && args[0] == "--startup-empty")
        return showEmptyWindow(argc, argv);
    if (args.size() == 3 && args[0] == "--startup-monitor")
        return showMonitorWindow(argc, argv, args[1], args[2]);
    if (args.size() == 6 && args[0] == "--html-shape") {
        const std::optional<bench::HtmlShape> shape = bench::htmlShapeNamed(args[1]);
        if (!shape || !followParent(static_cast<pid_t>(std::stol(args[5]))) || !openReportStreams())
            return 1;
        return runHtmlShapeChild(argc, argv, *shape, args[2],
                                 HtmlSizes{std::stoul(args[3]), std::stoul(args[4])});
    }
    return std::nullopt;
}

// Stepping and stepping-busy, in one monitor in this process.
void runSteppingBenchmarks(const Choices& choices, int argc, char** argv) {
    tracewin::Monitor::prepareProcess();
    QApplication app(argc, argv);
    QTemporaryDir scratchDir;
    const fs::path scratch = scratchDir.path().toStdString();
    bench::MonitorHarness monitor(choices.stage);
    if (choices.benchmarks.count("stepping")) {
        benchSteppingMemory(monitor, scratch);
        benchSteppingTime(monitor, scratch, choices.rounds, false);
    }
    if (choices.benchmarks.count("stepping-busy"))
        benchSteppingTime(monitor, scratch, choices.rounds, true);
    if (choices.benchmarks.count("stepping-variables"))
        benchSteppingVariables(monitor, scratch, choices.rounds);
}

void runBenchmarks(const Choices& choices, int argc, char** argv) {
    const auto& chosen = choices.benchmarks;
    if (chosen.count("startup"))
        benchStartup(choices.stage, choices.rounds * 2 - 1);
    if (chosen.count("stepping") || chosen.count("stepping-busy") ||
        chosen.count("stepping-variables"))
        runSteppingBenchmarks(choices, argc, argv);
    if (chosen.count("html"))
        benchHtml(choices.shapes, choices.stage, choices.htmlSizes);
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    try {
        if (const std::optional<int> code = runChildRole(args, argc, argv))
            return *code;
        const std::optional<Choices> choices = parseChoices(args);
        if (!choices) {
            printUsage();
            return 1;
        }
        if (!fs::exists(choices->stage / "jspvlm/nqc/bin/pagerunner")) {
            std::cerr << "bench_monitor: no staged install in " << choices->stage << "\n";
            return 1;
        }
        if (!openReportStreams())
            return 1;
        runBenchmarks(*choices, argc, argv);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(g_errors, "bench_monitor: %s\n", e.what());
        return 1;
    }
}
