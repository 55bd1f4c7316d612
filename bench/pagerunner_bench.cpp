// Fast-forward throughput of pagerunner: a page that reports 100,000 lines against a
// monitor that answers every record at once, as the monitor does in Fast forward. The
// baseline is a raw loopback ping-pong of a line record and its reply in the same run;
// the ratio of the two rates is what counts, since these machines are noisy.
#include "pagerunner/pagerunner.h"
#include "tracehook/recordframer.h"

#include <arpa/inet.h>
#include <atomic>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

// A loopback listener that answers every record with a continue and the page's end with
// "%T", one connection after the other.
class InstantMonitor {
public:
    InstantMonitor() {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ::listen(fd_, 8);
        socklen_t len = sizeof addr;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~InstantMonitor() {
        ::shutdown(fd_, SHUT_RDWR);
        ::close(fd_);
        thread_.join();
    }
    int port() const { return port_; }
    long records() const { return records_.load(); }

private:
    void serve() {
        while (true) {
            const int c = ::accept(fd_, nullptr, nullptr);
            if (c < 0)
                return;
            int one = 1;
            ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            tracehook::RecordFramer framer("%%%END%%%");
            char buf[65536];
            bool open = true;
            while (open) {
                const ssize_t n = ::recv(c, buf, sizeof buf, 0);
                if (n <= 0)
                    break;
                framer.append(std::string_view(buf, static_cast<std::size_t>(n)));
                while (auto r = framer.next()) {
                    ++records_;
                    const bool end = r->starts_with("%E") || r->starts_with("%A");
                    const char* reply = end ? "%T\n" : "%N1&1\n";
                    ::send(c, reply, std::char_traits<char>::length(reply), MSG_NOSIGNAL);
                    if (end)
                        open = false;
                }
            }
            ::close(c);
        }
    }

    int fd_ = -1;
    int port_ = 0;
    std::atomic<long> records_{0};
    std::thread thread_;
};

void BM_RawPingPong(benchmark::State& state) {
    InstantMonitor monitor;
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(monitor.port()));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    const std::string record = "%L1&35&8&7&8&15%%%END%%%";
    char buf[64];
    for (auto _ : state) {
        ::send(fd, record.data(), record.size(), MSG_NOSIGNAL);
        if (::recv(fd, buf, sizeof buf, 0) <= 0)
            state.SkipWithError("the monitor went away");
    }
    ::send(fd, "%E%%%END%%%", 11, MSG_NOSIGNAL);
    ::recv(fd, buf, sizeof buf, 0);
    ::close(fd);
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
