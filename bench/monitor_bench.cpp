// Whole-program benchmarks of the monitor, each against a baseline measured in the same
// run (these machines are noisy; the ratios are what count):
//   stepping  the monitor in Fast forward over a page of 100,000 mapped lines run by the
//             staged pagerunner, against a raw loopback ping-pong of the same records and
//             replies between two processes; resident memory after 1,000 and 100,000 steps
//   html      50 MB of produced HTML in 10,000 records: the time of each MB (flat: no cost
//             that grows with the output already shown)
//   startup   process start to the main window shown, against an empty QMainWindow
// Usage: bench_monitor [--rounds N] [--html-mb N] [--stage DIR] [stepping] [html] [startup]
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
#include <QMainWindow>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <sys/resource.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Records of 5,000 bytes: 50 MB in 10,000 records unless --html-mb says otherwise.
constexpr std::size_t kMB = 1000 * 1000;
constexpr std::size_t kHtmlRecordsPerMB = 200;

// The monitor sends the process's standard output and error to its log files; figures
// and failures of the benchmarks go to copies of the streams taken before it starts.
FILE* g_report = stdout;
FILE* g_errors = stderr;

// CPU seconds this process has used, user and system.
double cpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
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

void benchStepping(bench::MonitorHarness& monitor, const fs::path& scratch, int rounds) {
    const fs::path work = monitor.workDir();
    auto quiet = [&](int passes) {
        return writeQuietPage(scratch, passes);
    };
    auto list = [&](int passes) {
        return writeListPage(scratch, passes);
    };

    // Memory: the monitor's resident set after a page of 1,000 steps, then after one of
    // 100,000, in the same process.
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

    // Time: the page with output, baseline and monitor taking turns.
    const std::string page = list(passesFor(list, work, 100000));
    const bench::Conversation conversation = bench::recordConversation(page, work);
    std::fprintf(g_report, "stepping: %zu line records, %zu records in all (%zu bytes)\n",
                 conversation.count("%L"), conversation.records.size(), conversation.bytes());
    std::vector<double> ratios;
    for (int round = 1; round <= rounds; ++round) {
        // CPU time of this process: the answering side of the ping-pong, then the monitor.
        const double cpu0 = cpuSeconds();
        const double baseline = bench::pingPong(conversation, selfProgram(), scratch);
        const double cpu1 = cpuSeconds();
        const double monitored = monitor.fastForwardPage(page);
        const double cpu2 = cpuSeconds();
        if (monitored < 0)
            throw std::runtime_error("the page did not run to its end under the monitor");
        const double records = static_cast<double>(conversation.records.size());
        ratios.push_back(monitored / baseline);
        std::fprintf(g_report,
                     "  round %d: ping-pong %.2f s (%.0f round trips/s), monitor %.2f s "
                     "(%.0f records/s), ratio %.2f; CPU per record: answering side %.1f us, "
                     "monitor %.1f us\n",
                     round, baseline, records / baseline, monitored, records / monitored,
                     ratios.back(), (cpu1 - cpu0) / records * 1e6, (cpu2 - cpu1) / records * 1e6);
        std::fflush(g_report);
    }
    std::fprintf(g_report, "stepping ratio (median of %d): %.2f  [target <= 3]\n", rounds,
                 median(ratios));
    std::fprintf(g_report, "memory after: %ld KiB\n", bench::residentKiB());
}

void benchHtml(bench::MonitorHarness& monitor, const fs::path& scratch, std::size_t megabytes) {
    const bench::FloodPage page = bench::writeFloodPage(scratch);
    bench::Child client(selfProgram(),
                        {"--html-client", std::to_string(monitor.port()), page.jsp.string(),
                         page.java.string(), std::to_string(megabytes)});
    if (!client.started() || !monitor.waitForPage(std::chrono::seconds(30)))
        throw std::runtime_error("the HTML flood did not reach the monitor");
    monitor.chooseFastForward();
    // The client's report is small (a line per MB); it is read once the client is done.
    const bool ended = bench::MonitorHarness::runUntil([&] { return client.poll().has_value(); },
                                                       std::chrono::minutes(30));
    std::string report;
    char buf[4096];
    for (ssize_t n; ended && (n = ::read(client.output(), buf, sizeof buf)) > 0;)
        report.append(buf, static_cast<std::size_t>(n));
    if (!ended || client.wait() != 0)
        throw std::runtime_error("the HTML flood client failed");
    std::vector<double> perMB;
    std::istringstream lines(report);
    for (std::size_t mb; lines >> mb;) {
        double ms = 0;
        lines >> ms;
        perMB.push_back(ms);
    }
    if (perMB.size() < 10)
        throw std::runtime_error("the HTML flood reported too few MB");
    const auto first = std::vector<double>(perMB.begin(), perMB.begin() + 5);
    const auto last = std::vector<double>(perMB.end() - 5, perMB.end());
    double total = 0;
    for (double ms : perMB)
        total += ms;
    std::fprintf(g_report,
                 "html: %zu MB in %zu records: %.2f s; per MB: first %.1f ms, median %.1f ms, "
                 "max %.1f ms, last %.1f ms\n",
                 perMB.size(), perMB.size() * kHtmlRecordsPerMB, total / 1000, perMB.front(),
                 median(perMB), *std::max_element(perMB.begin(), perMB.end()), perMB.back());
    std::fprintf(g_report,
                 "html growth (median of the last 5 MB / median of the first 5 MB): %.2f  "
                 "[flat = 1]\n",
                 median(last) / median(first));
    std::fprintf(g_report, "html lines held: %zu, resident %ld KiB\n",
                 monitor.htmlView().model().getLines().size(), bench::residentKiB());
}

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

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    try {
        if (args.size() == 3 && args[0] == "--ping-client")
            return bench::runPingClient(std::stoi(args[1]), args[2]);
        if (args.size() == 5 && args[0] == "--html-client") {
            const std::size_t megabytes = std::stoul(args[4]);
            return bench::runHtmlClient(std::stoi(args[1]), {args[2], args[3]}, megabytes * kMB,
                                        megabytes * kHtmlRecordsPerMB);
        }
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        if (args.size() == 1 && args[0] == "--startup-empty")
            return showEmptyWindow(argc, argv);
        if (args.size() == 3 && args[0] == "--startup-monitor")
            return showMonitorWindow(argc, argv, args[1], args[2]);

        int rounds = 3;
        std::size_t htmlMegabytes = 50;
        fs::path stage = TRACEWIN_STAGE_DIR;
        std::set<std::string> chosen;
        for (std::size_t i = 0; i < args.size(); ++i) {
            if (args[i] == "--rounds" && i + 1 < args.size())
                rounds = std::max(1, std::stoi(args[++i]));
            else if (args[i] == "--html-mb" && i + 1 < args.size())
                htmlMegabytes = std::max<std::size_t>(10, std::stoul(args[++i]));
            else if (args[i] == "--stage" && i + 1 < args.size())
                stage = args[++i];
            else if (args[i] == "stepping" || args[i] == "html" || args[i] == "startup")
                chosen.insert(args[i]);
            else {
                std::cerr << "Usage: bench_monitor [--rounds N] [--html-mb N] [--stage DIR] "
                             "[stepping] [html] [startup]\n";
                return 1;
            }
        }
        if (chosen.empty())
            chosen = {"stepping", "html", "startup"};
        if (!fs::exists(stage / "jspvlm/nqc/bin/pagerunner")) {
            std::cerr << "bench_monitor: no staged install in " << stage << "\n";
            return 1;
        }

        g_report = fdopen(::dup(STDOUT_FILENO), "w");
        g_errors = fdopen(::dup(STDERR_FILENO), "w");
        if (!g_report || !g_errors)
            return 1;
        std::setvbuf(g_report, nullptr, _IOLBF, 0);
        if (chosen.count("startup")) {
            benchStartup(stage, rounds * 2 - 1);
        }
        if (chosen.count("stepping") || chosen.count("html")) {
            tracewin::Monitor::prepareProcess();
            QApplication app(argc, argv);
            QTemporaryDir scratch;
            bench::MonitorHarness monitor(stage);
            if (chosen.count("stepping"))
                benchStepping(monitor, scratch.path().toStdString(), rounds);
            if (chosen.count("html"))
                benchHtml(monitor, scratch.path().toStdString(), htmlMegabytes);
        }
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(g_errors, "bench_monitor: %s\n", e.what());
        return 1;
    }
}
