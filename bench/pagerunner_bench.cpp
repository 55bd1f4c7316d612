// Fast-forward throughput of pagerunner: a page that reports 100,000 lines against a
// monitor that answers every record at once, as the monitor does in Fast forward. The
// baseline is a raw loopback ping-pong of a line record and its reply in the same run;
// the ratio of the two rates is what counts, since these machines are noisy.
#include "loopback.h"
#include "pagerunner/pagerunner.h"

#include <atomic>
#include <benchmark/benchmark.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/socket.h>
#include <thread>

namespace {

// A loopback listener that answers every record as the monitor does in Fast forward, one
// connection after the other.
class InstantMonitor {
public:
    InstantMonitor() : listener_(bench::Socket::listenLoopback()) {
        thread_ = std::thread([this] {
            while (true) {
                const bench::Socket c = listener_.accept();
                if (!c.valid())
                    return;
                bench::answerLikeTheMonitor(c, [this](const std::string&) { ++records_; });
            }
        });
    }
    ~InstantMonitor() {
        ::shutdown(listener_.fd(), SHUT_RDWR);
        thread_.join();
    }
    int port() const { return listener_.localPort(); }
    long records() const { return records_.load(); }

private:
    bench::Socket listener_;
    std::atomic<long> records_{0};
    std::thread thread_;
};

void BM_RawPingPong(benchmark::State& state) {
    InstantMonitor monitor;
    const bench::Socket s = bench::Socket::connectLoopback(monitor.port());
    const std::string record = "%L1&35&8&7&8&15%%%END%%%";
    std::string pending;
    for (auto _ : state) {
        if (!s.sendAll(record) || !s.readLine(pending))
            state.SkipWithError("the monitor went away");
    }
    s.sendAll("%E%%%END%%%");
    s.readLine(pending);
    state.counters["round_trips/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RawPingPong)->Iterations(100000)->UseRealTime()->Unit(benchmark::kMicrosecond);

// 20,000 passes of a loop whose body reports five lines: 100,000 line records, plus the
// HTML records of the lines that write output.
void BM_FastForwardPage(benchmark::State& state) {
    const auto dir = std::filesystem::temp_directory_path() / "pagerunner-bench";
    std::filesystem::create_directories(dir);
    const std::string page = (dir / "fastforward.jsp").string();
    std::ofstream(page) << "<% for (int i = 0; i < 20000; i++) { %>\n"
                           "<li><%= i %></li>\n"
                           "<% } %>\n";
    InstantMonitor monitor;
    pagerunner::PageRunnerOptions options;
    options.page = page;
    options.port = monitor.port();
    options.workDir = (dir / "work").string();
    for (auto _ : state) {
        pagerunner::PageRunner runner(options);
        if (runner.run() != pagerunner::ExitCode::Ok)
            state.SkipWithError("the page did not end");
    }
    state.counters["round_trips/s"] =
        benchmark::Counter(static_cast<double>(monitor.records()), benchmark::Counter::kIsRate);
    state.counters["records_per_run"] =
        static_cast<double>(monitor.records()) / static_cast<double>(state.iterations());
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_FastForwardPage)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
