// Stepping a page in a real Tomcat with tomcatrunner, against a bare JDWP line step through
// the same page in the same JVM, all in one run (these machines are noisy: the ratio to the
// baseline is what counts):
//   runner step   one step as the monitor sees it: from its reply to a line record to the
//                 next line record, over passes 2..N of a loop page (pass 1 runs code for the
//                 first time); median, p90, max                     [target: median <= 2 ms]
//                 The monitor's settings file does not ask for variables: the runner looks at
//                 it at each stop, as it does for a user.
//   variables on  the same steps while the settings ask for the page's variables: each step
//                 also reads what the page holds (its locals, the request's parameter, the
//                 scopes' attributes, one level down) and sends it before the line record;
//                 median in ms and its ratio to the step with them off
//                                                                   [target: median <= 3 ms]
//   fast forward  a page of 10,000 mapped lines, from the request to its end record, the
//                 monitor answering every record at once            [target: <= 20 s]
//   bare step     the baseline: the request's thread stepped with nothing but JDWP from a
//                 breakpoint at the start of _jspService: EventRequest.Set (Step LINE/OVER),
//                 ThreadReference.Resume, the SingleStep event, EventRequest.Clear; measured
//                 just before and just after the runner's steps, over the same passes
//   what-ifs      the bare step with fewer waits: a Count(1) step request sent together with
//                 the resume, and one step request kept for every step (a resume only)
// For each: the CPU time per step of this process (the stand-in monitor's thread included)
// and of the JVM, and the JDWP commands per step with their round trips, as a counting
// transport under the connection saw them.
// Every JVM started is stopped, also on failure; --limit bounds the whole run.
// Usage: bench_tomcatrunner [--rounds N] [--passes N] [--limit SECONDS]
#include "jdwp/debuggee.h"
#include "jdwp/error.h"
#include "jdwp/packet.h"
#include "jdwp/transport.h"
#include "jdwp/wire.h"
#include "loopback.h"
#include "pagerunner/stopsignal.h"
#include "tomcatrunner/httpexchange.h"
#include "tomcatrunner/managedtomcat.h"
#include "tomcatrunner/pageclasses.h"
#include "tomcatrunner/requestdebugger.h"
#include "tracehook/recordframer.h"
#include "tracehook/variablesswitch.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr double kStepTargetMicros = 2000;
constexpr double kVariablesStepTargetMicros = 3000;
constexpr double kFastForwardTargetSeconds = 20;
constexpr int kFastForwardLines = 10'000;
// Mapped Java lines one pass of the loop page runs: the loop's test, "\n", "<li>", the
// expression and "</li>\n" (checked against what the runner reports).
constexpr int kLinesPerPass = 5;
constexpr auto kStepWait = 30s;
// The step page's request: with a parameter, which the variables show.
constexpr const char* kStepTarget = "/step.jsp?user=Ann";

double micros(Clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

// Samples in microseconds and the figures taken from them.
struct Samples {
    std::vector<double> values;

    void add(double v) { values.push_back(v); }
    std::size_t size() const { return values.size(); }
    double quantile(double q) const {
        if (values.empty()) {
            return 0;
        }
        std::vector<double> v = values;
        std::sort(v.begin(), v.end());
        const auto at = static_cast<std::size_t>(q * static_cast<double>(v.size() - 1) + 0.5);
        return v[std::min(at, v.size() - 1)];
    }
    double median() const { return quantile(0.5); }
    double mean() const {
        double sum = 0;
        for (double v : values) {
            sum += v;
        }
        return values.empty() ? 0 : sum / static_cast<double>(values.size());
    }
    double p90() const { return quantile(0.9); }
    double max() const {
        return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
    }
};

double medianOf(std::vector<double> v) {
    return Samples{std::move(v)}.median();
}

// CPU seconds used so far by this process (user and system, every thread).
double ownCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return t.tv_sec + t.tv_usec / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// CPU seconds used so far by another process, from Linux's /proc (0 when unreadable): the
// JVM's share of a step is where most of its time goes.
double processCpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');
    if (close == std::string::npos) {
        return 0;
    }
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    double ticks = 0;
    // Fields 3.. follow the command name; utime and stime are fields 14 and 15.
    for (int n = 3; n <= 15 && fields >> field; ++n) {
        if (n >= 14) {
            ticks += std::stod(field);
        }
    }
    return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// The CPU time of this process and of the JVM between construction and now.
class CpuMeter {
public:
    explicit CpuMeter(pid_t jvm)
        : jvm_(jvm), own_(ownCpuSeconds()), jvmStart_(processCpuSeconds(jvm)) {}
    double ownSeconds() const { return ownCpuSeconds() - own_; }
    double jvmSeconds() const { return processCpuSeconds(jvm_) - jvmStart_; }

private:
    pid_t jvm_;
    double own_;
    double jvmStart_;
};

// Ends the whole run when it takes longer than its limit: kills the JVM's process group
// and exits, so that nothing is left behind by a run that hangs.
class Watchdog {
public:
    explicit Watchdog(std::chrono::seconds limit)
        : thread_([this, limit] {
              std::unique_lock lock(mutex_);
              if (!wake_.wait_for(lock, limit, [this] { return done_; })) {
                  std::fprintf(stderr, "bench_tomcatrunner: no end within %lld s; stopping\n",
                               static_cast<long long>(limit.count()));
                  if (const pid_t pid = jvm_.load(); pid > 0) {
                      ::kill(-pid, SIGKILL); // Tomcat runs in a process group of its own
                  }
                  std::_Exit(3);
              }
          }) {}
    ~Watchdog() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    void watch(pid_t jvm) { jvm_ = jvm; }

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
    std::atomic<pid_t> jvm_{0};
    std::thread thread_;
};

// A folder of our own below the temporary folder, removed with everything in it.
class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern = (fs::temp_directory_path() / "tomcatrunner-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot create a temporary folder");
        }
        path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// A page whose loop writes one list item a pass: kLinesPerPass mapped lines a pass.
std::string loopPage(int passes) {
    return "<%@ page contentType=\"text/html; charset=UTF-8\" %>\n"
           "<html><body><ul>\n"
           "<% for (int i = 0; i < " +
           std::to_string(passes) +
           "; i++) { %>\n"
           "<li><%= i * i %></li>\n"
           "<% } %>\n"
           "</ul></body></html>\n";
}

// ---------------------------------------------------------------------------------------
// The stand-in monitor.

// A stand-in monitor that answers every record at once and keeps, for each, when it
// arrived and when its reply had been sent, so that a step is timed as the monitor sees it.
// It serves the runner's connections one after the other, on its own thread.
class LineClockMonitor {
public:
    struct Entry {
        std::string kind; // "%F", "%L", "%H", "%E", ...
        int javaLine = 0; // of a "%L"
        Clock::time_point arrived;
        Clock::time_point replied;
    };

    LineClockMonitor() : listener_(bench::Socket::listenLoopback()) {
        if (::pipe(wake_) != 0) {
            throw std::runtime_error("cannot create a pipe");
        }
        thread_ = std::thread([this] { serve(); });
    }
    ~LineClockMonitor() {
        stopping_ = true;
        (void)!::write(wake_[1], "x", 1);
        thread_.join();
        ::close(wake_[0]);
        ::close(wake_[1]);
    }
    LineClockMonitor(const LineClockMonitor&) = delete;
    LineClockMonitor& operator=(const LineClockMonitor&) = delete;

    int port() const { return listener_.localPort(); }
    // The n of each continue reply: 0 as after Step, 1 as after Run or Fast forward.
    void setContinueCode(int n) { continueCode_ = n; }

    // The entries up to the page's end record, once it has been answered (empty when it
    // was not within the timeout); later calls start after it.
    std::vector<Entry> takeUntilEnd(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        const auto isEnd = [](const Entry& e) {
            return e.kind == "%E" || e.kind == "%A";
        };
        if (!ended_.wait_for(lock, timeout, [&] {
                return std::any_of(entries_.begin(), entries_.end(), isEnd);
            })) {
            return {};
        }
        const auto end = std::find_if(entries_.begin(), entries_.end(), isEnd) + 1;
        std::vector<Entry> taken(entries_.begin(), end);
        entries_.erase(entries_.begin(), end);
        return taken;
    }

private:
    // Waits until fd is readable; false when the monitor is stopping.
    bool awaitReadable(int fd) {
        pollfd fds[2] = {{wake_[0], POLLIN, 0}, {fd, POLLIN, 0}};
        while (!stopping_) {
            if (::poll(fds, 2, -1) > 0) {
                return !stopping_ && fds[1].revents != 0;
            }
        }
        return false;
    }

    void serve() {
        while (awaitReadable(listener_.fd())) {
            const bench::Socket peer = listener_.accept();
            if (peer.valid()) {
                answer(peer);
            }
        }
    }

    void answer(const bench::Socket& peer) {
        tracehook::RecordFramer framer{"%%%END%%%"};
        std::vector<char> buffer(1 << 16);
        while (awaitReadable(peer.fd())) {
            const ssize_t n = ::recv(peer.fd(), buffer.data(), buffer.size(), 0);
            const Clock::time_point arrived = Clock::now();
            if (n <= 0) {
                return;
            }
            framer.append(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
            while (const std::optional<std::string> record = framer.next()) {
                Entry entry{record->substr(0, 2), 0, arrived, {}};
                if (entry.kind == "%L") {
                    entry.javaLine = std::atoi(record->c_str() + record->find('&') + 1);
                }
                const bool end = entry.kind == "%E" || entry.kind == "%A";
                if (!peer.sendAll(reply(*record) + "\n")) {
                    return;
                }
                entry.replied = Clock::now();
                std::lock_guard lock(mutex_);
                entries_.push_back(std::move(entry));
                if (end) {
                    ended_.notify_all();
                }
            }
        }
    }

    std::string reply(const std::string& record) const {
        if (record.starts_with("%E") || record.starts_with("%A")) {
            return "%T";
        }
        const auto amp = record.find('&');
        std::string fileId =
            record.substr(2, amp == std::string::npos ? std::string::npos : amp - 2);
        return "%N" + (fileId.empty() ? std::string("1") : fileId) + "&" +
               std::to_string(continueCode_.load());
    }

    bench::Socket listener_;
    int wake_[2] = {-1, -1};
    std::atomic<bool> stopping_{false};
    std::atomic<int> continueCode_{1};
    std::mutex mutex_;
    std::condition_variable ended_;
    std::vector<Entry> entries_;
    std::thread thread_;
};

// ---------------------------------------------------------------------------------------
// JDWP traffic.

// The JDWP traffic of the debugger: each command with when it was sent and when its
// reply came, and when each event came.
class TrafficLog {
public:
    struct Exchange {
        std::uint8_t commandSet = 0;
        std::uint8_t command = 0;
        Clock::time_point sent;
        Clock::time_point answered;
    };

    void sent(std::uint32_t id, std::uint8_t commandSet, std::uint8_t command) {
        pending_[id] = Exchange{commandSet, command, Clock::now(), {}};
    }
    void answered(std::uint32_t id) {
        const auto it = pending_.find(id);
        if (it != pending_.end()) {
            it->second.answered = Clock::now();
            done_.push_back(it->second);
            pending_.erase(it);
        }
    }
    void event() { events_.push_back(Clock::now()); }

    const std::vector<Exchange>& exchanges() const { return done_; }
    const std::vector<Clock::time_point>& events() const { return events_; }

private:
    std::map<std::uint32_t, Exchange> pending_;
    std::vector<Exchange> done_;
    std::vector<Clock::time_point> events_;
};

// Sits between a JDWP connection and its socket and tells the log what passes; it only
// looks. The connection writes each command, or each batch of commands, in one piece.
class CountingTransport final : public jdwp::Transport {
public:
    CountingTransport(std::unique_ptr<jdwp::Transport> inner, TrafficLog& log)
        : inner_(std::move(inner)), log_(log) {}

    void write(std::span<const std::uint8_t> bytes, jdwp::Deadline deadline) override {
        if (!handshakeWritten_) {
            handshakeWritten_ = true; // "JDWP-Handshake", no packet
        } else {
            // One command, or several sent together.
            const auto word = [&](std::size_t at) {
                return (std::uint32_t{bytes[at]} << 24) | (std::uint32_t{bytes[at + 1]} << 16) |
                       (std::uint32_t{bytes[at + 2]} << 8) | bytes[at + 3];
            };
            for (std::size_t at = 0; at + jdwp::Packet::HeaderSize <= bytes.size();) {
                log_.sent(word(at + 4), bytes[at + 9], bytes[at + 10]);
                at += std::max<std::size_t>(word(at), jdwp::Packet::HeaderSize);
            }
        }
        inner_->write(bytes, deadline);
    }
    std::optional<std::size_t> read(std::span<std::uint8_t> into,
                                    jdwp::Deadline deadline) override {
        const std::optional<std::size_t> n = inner_->read(into, deadline);
        if (n && *n > 0 && !lost_) {
            // The VM's handshake comes first, and is no packet.
            const std::size_t handshake = std::min(*n, handshakeToSkip_);
            handshakeToSkip_ -= handshake;
            try {
                framer_.feed(into.first(*n).subspan(handshake));
                while (const std::optional<jdwp::Packet> packet = framer_.next()) {
                    if (packet->isReply()) {
                        log_.answered(packet->id);
                    } else {
                        log_.event();
                    }
                }
            } catch (const jdwp::ProtocolError&) {
                lost_ = true; // the connection reports it; the count stops here
            }
        }
        return n;
    }
    int pollHandle() const override { return inner_->pollHandle(); }
    void close() override { inner_->close(); }

private:
    std::unique_ptr<jdwp::Transport> inner_;
    TrafficLog& log_;
    jdwp::PacketFramer framer_;
    bool handshakeWritten_ = false;
    std::size_t handshakeToSkip_ = std::string_view("JDWP-Handshake").size();
    bool lost_ = false;
};

std::string commandName(std::uint8_t commandSet, std::uint8_t command) {
    static const std::map<std::pair<int, int>, std::string> names = {
        {{1, 3}, "VirtualMachine.AllClasses"},   {{2, 1}, "ReferenceType.Signature"},
        {{2, 4}, "ReferenceType.Fields"},        {{2, 6}, "ReferenceType.GetValues"},
        {{3, 1}, "ClassType.Superclass"},        {{6, 1}, "Method.LineTable"},
        {{6, 2}, "Method.VariableTable"},        {{9, 1}, "ObjectReference.ReferenceType"},
        {{9, 2}, "ObjectReference.GetValues"},   {{11, 3}, "ThreadReference.Resume"},
        {{11, 6}, "ThreadReference.Frames"},     {{10, 1}, "StringReference.Value"},
        {{11, 7}, "ThreadReference.FrameCount"}, {{13, 1}, "ArrayReference.Length"},
        {{13, 2}, "ArrayReference.GetValues"},   {{15, 1}, "EventRequest.Set"},
        {{15, 2}, "EventRequest.Clear"},         {{16, 1}, "StackFrame.GetValues"},
        {{16, 3}, "StackFrame.ThisObject"},
    };
    const auto it = names.find({commandSet, command});
    return it != names.end()
               ? it->second
               : "command " + std::to_string(commandSet) + "." + std::to_string(command);
}

// What the debugger asked of the VM per step within a window of time: each command's count
// per step and median round trip, the wait for the event after the thread's resume, and the
// time anything was awaited from the VM (commands in flight at once counted once).
class TrafficProfile {
public:
    explicit TrafficProfile(std::size_t steps)
        : steps_(static_cast<double>(std::max<std::size_t>(steps, 1))) {}

    void addWindow(const TrafficLog& log, Clock::time_point from, Clock::time_point to) {
        using Interval = std::pair<Clock::time_point, Clock::time_point>;
        std::vector<Interval> waits;
        Clock::time_point lastResumeAnswer{};
        const auto& events = log.events();
        std::size_t nextEvent = 0;
        while (nextEvent < events.size() && events[nextEvent] < from) {
            ++nextEvent;
        }
        for (const TrafficLog::Exchange& e : log.exchanges()) {
            // An event that came before this command was sent answers the resume before it.
            for (;
                 nextEvent < events.size() && events[nextEvent] < e.sent && events[nextEvent] <= to;
                 ++nextEvent) {
                if (lastResumeAnswer != Clock::time_point{}) {
                    eventWaits_.add(micros(events[nextEvent] - lastResumeAnswer));
                    waits.emplace_back(lastResumeAnswer, events[nextEvent]);
                    lastResumeAnswer = {};
                }
            }
            if (e.sent < from || e.sent > to) {
                continue;
            }
            commands_[commandName(e.commandSet, e.command)].add(micros(e.answered - e.sent));
            waits.emplace_back(e.sent, e.answered);
            if (e.commandSet == 11 && e.command == 3) {
                lastResumeAnswer = e.answered;
            }
        }
        std::sort(waits.begin(), waits.end());
        Clock::time_point covered = from;
        for (const auto& [begin, end] : waits) {
            if (end > covered) {
                waitedMicros_ += micros(end - std::max(begin, covered));
                covered = end;
            }
        }
    }

    void print(const char* indent, double stepMeanMicros) const {
        for (const auto& [name, rtts] : commands_) {
            std::printf("%s%-30s %5.2f a step  median %5.0f µs\n", indent, name.c_str(),
                        static_cast<double>(rtts.size()) / steps_, rtts.median());
        }
        std::printf("%s%-30s %5.2f a step  median %5.0f µs\n", indent,
                    "the event, after Resume's reply",
                    static_cast<double>(eventWaits_.size()) / steps_, eventWaits_.median());
        std::printf("%swaiting for the VM: %.0f µs of a %.0f µs step (means)\n", indent,
                    waitedMicros_ / steps_, stepMeanMicros);
    }

private:
    double steps_;
    std::map<std::string, Samples> commands_;
    Samples eventWaits_;
    double waitedMicros_ = 0;
};

// ---------------------------------------------------------------------------------------
// The page as the VM holds it.

// The loop page's class in the VM: its _jspService, that method's line table, and the Java
// line of the loop's test, where each pass starts.
struct LoopPageClass {
    jdwp::ReferenceTypeId type = 0;
    jdwp::MethodId service = 0;
    jdwp::LineTable lines;
    int loopLine = 0;

    static LoopPageClass find(jdwp::Debuggee& vm, const std::string& className,
                              const fs::path& javaFile) {
        LoopPageClass page;
        std::string signature = "L" + className + ";";
        std::replace(signature.begin(), signature.end(), '.', '/');
        const auto classes = vm.vm.classesBySignature(signature);
        if (classes.empty()) {
            throw std::runtime_error(className + " is not loaded");
        }
        page.type = classes.back().typeId;
        for (const jdwp::MethodInfo& m : vm.referenceType.methods(page.type)) {
            if (m.name == "_jspService") {
                page.service = m.methodId;
            }
        }
        if (page.service == 0) {
            throw std::runtime_error(className + " has no _jspService");
        }
        page.lines = vm.method.lineTable(page.type, page.service);
        std::ifstream in(javaFile);
        int number = 0;
        for (std::string line; std::getline(in, line);) {
            ++number;
            if (line.find("for (int i = 0;") != std::string::npos) {
                page.loopLine = number;
            }
        }
        if (page.loopLine == 0) {
            throw std::runtime_error("no loop in " + javaFile.string());
        }
        return page;
    }

    int javaLine(std::uint64_t index) const {
        int line = 0;
        std::uint64_t best = 0;
        for (const jdwp::LineTableEntry& e : lines.lines) {
            if (e.lineCodeIndex <= index && e.lineCodeIndex >= best) {
                best = e.lineCodeIndex;
                line = e.lineNumber;
            }
        }
        return line;
    }
};

// One step: the Java line it stopped at, and when it started and ended.
struct TimedStep {
    int javaLine = 0;
    Clock::time_point start;
    Clock::time_point end;
};

// The steps of passes 2..N: from the second arrival at the loop's test to the last one.
std::pair<std::size_t, std::size_t> steadyPasses(const std::vector<int>& lines, int loopLine) {
    std::vector<std::size_t> at;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i] == loopLine) {
            at.push_back(i);
        }
    }
    if (at.size() < 3) {
        throw std::runtime_error("the loop ran fewer than two passes");
    }
    return {at[1], at.back()};
}

// ---------------------------------------------------------------------------------------
// The baseline.

// Lets a suspended thread go whatever happens: clears its step request and resumes it.
class ThreadRelease {
public:
    ThreadRelease(jdwp::Debuggee& vm, jdwp::ThreadId thread) : vm_(vm), thread_(thread) {}
    ~ThreadRelease() {
        try {
            release();
        } catch (const std::exception&) {
        }
    }
    ThreadRelease(const ThreadRelease&) = delete;
    ThreadRelease& operator=(const ThreadRelease&) = delete;

    void stepping(jdwp::RequestId request) { request_ = request; }
    void resumed() { suspended_ = false; }
    void suspended() { suspended_ = true; }
    void release() {
        if (request_ != 0) {
            const jdwp::RequestId r = std::exchange(request_, 0);
            vm_.eventRequest.clear(jdwp::EventKind::SingleStep, r);
        }
        if (suspended_) {
            suspended_ = false;
            vm_.thread.resume(thread_);
        }
    }

private:
    jdwp::Debuggee& vm_;
    jdwp::ThreadId thread_;
    jdwp::RequestId request_ = 0;
    bool suspended_ = true;
};

// Steps the request's thread through the loop page with nothing but JDWP, from a
// breakpoint at the start of _jspService until the thread leaves it, and times each step.
class BareStepper {
public:
    enum class Mode {
        SetResumeClear,    // the baseline: each command waits for the reply of the one before
        CountedWithResume, // a Count(1) step request and the resume sent at once
        KeptRequest,       // one step request for every step: a resume only
    };

    BareStepper(jdwp::Debuggee& vm, const LoopPageClass& page, int httpPort)
        : vm_(vm), page_(page), httpPort_(httpPort) {}

    std::vector<TimedStep> run(const std::string& target, Mode mode) {
        const jdwp::Location start{jdwp::TypeTag::Class, page_.type, page_.service,
                                   static_cast<std::uint64_t>(page_.lines.start)};
        const jdwp::RequestId entry = vm_.eventRequest.set(jdwp::EventRequest::breakpoint(start));
        tomcatrunner::HttpExchange http("127.0.0.1", httpPort_, target, 5s);
        jdwp::ThreadId thread = 0;
        try {
            thread = awaitStop(0, entry, http).first;
        } catch (...) {
            vm_.eventRequest.clear(jdwp::EventKind::Breakpoint, entry);
            throw;
        }
        ThreadRelease release(vm_, thread);
        vm_.eventRequest.clear(jdwp::EventKind::Breakpoint, entry);

        std::vector<TimedStep> steps;
        if (mode == Mode::KeptRequest) {
            release.stepping(vm_.eventRequest.set(stepOver(thread)));
        }
        for (;;) {
            TimedStep step;
            step.start = Clock::now();
            const jdwp::Location at =
                mode == Mode::SetResumeClear      ? setResumeClear(thread, release, http)
                : mode == Mode::CountedWithResume ? countedWithResume(thread, release, http)
                                                  : resumeOnly(thread, release, http);
            step.end = Clock::now();
            step.javaLine = lineInPage(at);
            if (step.javaLine == 0) {
                break; // the thread left the page
            }
            steps.push_back(step);
            http.pump(0ms); // keeps the response moving, off the clock
        }
        release.release();
        http.finish(60s);
        if (http.status() != 200) {
            throw std::runtime_error(target + " answered " + std::to_string(http.status()));
        }
        return steps;
    }

private:
    static constexpr jdwp::Command kEventRequestSet{15, 1, "EventRequest.Set"};
    static constexpr jdwp::Command kThreadResume{11, 3, "ThreadReference.Resume"};

    static jdwp::EventRequest stepOver(jdwp::ThreadId thread) {
        return jdwp::EventRequest::step(thread, jdwp::StepSize::Line, jdwp::StepDepth::Over);
    }

    // One step as the runner takes it: each command waits for the reply of the one before.
    jdwp::Location setResumeClear(jdwp::ThreadId thread, ThreadRelease& release,
                                  tomcatrunner::HttpExchange& http) {
        const jdwp::RequestId id = vm_.eventRequest.set(stepOver(thread));
        release.stepping(id);
        vm_.thread.resume(thread);
        release.resumed();
        const jdwp::Location at = awaitStop(thread, id, http).second;
        release.suspended();
        vm_.eventRequest.clear(jdwp::EventKind::SingleStep, id);
        release.stepping(0);
        return at;
    }

    // A step request that expires with its event, sent together with the resume.
    jdwp::Location countedWithResume(jdwp::ThreadId thread, ThreadRelease& release,
                                     tomcatrunner::HttpExchange& http) {
        auto& c = vm_.connection();
        const auto setId = c.send(kEventRequestSet,
                                  jdwp::encodeEventRequest(stepOver(thread).count(1), c.idSizes()));
        const auto resumeId =
            c.send(kThreadResume, jdwp::PacketWriter(c.idSizes()).objectId(thread).take());
        const auto reply = c.awaitReply(setId, kEventRequestSet);
        const jdwp::RequestId id = jdwp::PacketReader(reply, c.idSizes()).i32();
        release.stepping(id);
        release.resumed();
        c.awaitReply(resumeId, kThreadResume);
        const jdwp::Location at = awaitStop(thread, id, http).second;
        release.suspended();
        release.stepping(0); // it expired with its event
        return at;
    }

    // The step request set before the first step stays: the VM arms it again each time it
    // reports a step, so a resume is all a step takes.
    jdwp::Location resumeOnly(jdwp::ThreadId thread, ThreadRelease& release,
                              tomcatrunner::HttpExchange& http) {
        vm_.thread.resume(thread);
        release.resumed();
        const jdwp::Location at = awaitStop(thread, 0, http).second;
        release.suspended();
        return at;
    }

    // The page's Java line at a location; 0 outside _jspService.
    int lineInPage(const jdwp::Location& at) const {
        if (at.classId != page_.type || at.methodId != page_.service) {
            return 0;
        }
        return page_.javaLine(at.index);
    }

    // Waits for the event of a request (any request when 0) in a thread (any when 0);
    // resumes other threads it stopped. The thread and where it stopped.
    std::pair<jdwp::ThreadId, jdwp::Location>
    awaitStop(jdwp::ThreadId thread, jdwp::RequestId request, tomcatrunner::HttpExchange& http) {
        const auto deadline = Clock::now() + kStepWait;
        while (Clock::now() < deadline) {
            const auto set = vm_.nextEvent(100ms);
            if (!set) {
                http.pump(0ms);
                continue;
            }
            for (const jdwp::Event& e : set->events) {
                const auto* hit = std::get_if<jdwp::LocatedEvent>(&e);
                if (hit && (thread == 0 || hit->thread == thread) &&
                    (request == 0 || hit->requestId == request)) {
                    return {hit->thread, hit->location};
                }
                if (jdwp::kindOf(e) == jdwp::EventKind::VmDeath ||
                    jdwp::kindOf(e) == jdwp::EventKind::VmDisconnected) {
                    throw std::runtime_error("the JVM went away");
                }
            }
            const auto other = set->events.empty() ? std::nullopt : jdwp::threadOf(set->events[0]);
            if (other && set->suspendPolicy != jdwp::SuspendPolicy::None) {
                vm_.thread.resume(*other);
            }
        }
        throw std::runtime_error("no step event within 30 s");
    }

    jdwp::Debuggee& vm_;
    const LoopPageClass& page_;
    int httpPort_;
};

// ---------------------------------------------------------------------------------------
// The measurements.

// One measured run: its step times, its time window, and its CPU time.
struct Measured {
    using Window = std::pair<Clock::time_point, Clock::time_point>;

    Samples steps;               // µs
    Samples untilNextRecord;     // runner: reply to the next record of any kind, µs
    Samples htmlToLine;          // runner: an "%H" record's arrival to the line record's, µs
    std::size_t allSteps = 0;    // steps of the whole request
    std::vector<Window> windows; // passes 2..N of each request
    double ownCpu = 0;           // s, whole request
    double jvmCpu = 0;
    double seconds = 0; // the whole request

    double ownCpuPerStep() const {
        return ownCpu * 1e6 / static_cast<double>(std::max<std::size_t>(allSteps, 1));
    }
    double jvmCpuPerStep() const {
        return jvmCpu * 1e6 / static_cast<double>(std::max<std::size_t>(allSteps, 1));
    }
    // Another request's figures pooled with these.
    void add(const Measured& other) {
        steps.values.insert(steps.values.end(), other.steps.values.begin(),
                            other.steps.values.end());
        untilNextRecord.values.insert(untilNextRecord.values.end(),
                                      other.untilNextRecord.values.begin(),
                                      other.untilNextRecord.values.end());
        htmlToLine.values.insert(htmlToLine.values.end(), other.htmlToLine.values.begin(),
                                 other.htmlToLine.values.end());
        allSteps += other.allSteps;
        windows.insert(windows.end(), other.windows.begin(), other.windows.end());
        ownCpu += other.ownCpu;
        jvmCpu += other.jvmCpu;
        seconds += other.seconds;
    }
};

// The server, the debugger's connection, the runner's page classes and the monitor, shared
// by every measurement of the run.
class Bench {
public:
    Bench(const fs::path& scratch, int passes, Watchdog& watchdog)
        : scratch_(scratch), passes_(passes), ffPasses_(kFastForwardLines / kLinesPerPass) {
        const fs::path app = scratch_ / "app";
        fs::create_directories(app);
        std::ofstream(app / "step.jsp") << loopPage(passes_);
        std::ofstream(app / "fastforward.jsp") << loopPage(ffPasses_);
        tomcatrunner::ManagedTomcatOptions options;
        options.base = scratch_ / "base";
        options.webapp = app;
        tomcat_ = tomcatrunner::ManagedTomcat::start(options);
        watchdog.watch(tomcat_->pid());
        auto socket = jdwp::SocketTransport::connect("127.0.0.1", tomcat_->jdwpPort(), 5s);
        vm_ = std::make_unique<jdwp::Debuggee>(
            std::make_unique<CountingTransport>(std::move(socket), traffic_),
            "127.0.0.1:" + std::to_string(tomcat_->jdwpPort()), jdwp::AttachOptions{});
        vm_->vm.setDefaultStratum("Java");
        // Jasper compiles each page on its first request; nothing of that is measured.
        for (const char* target : {kStepTarget, "/fastforward.jsp"}) {
            tomcatrunner::HttpExchange warmUp("127.0.0.1", tomcat_->httpPort(), target, 5s);
            warmUp.finish(120s);
        }
        const fs::path generated = scratch_ / "base" / "work" / "Catalina" / "localhost" / "ROOT";
        page_ = LoopPageClass::find(*vm_, "org.apache.jsp.step_jsp",
                                    generated / "org" / "apache" / "jsp" / "step_jsp.java");
        classes_ = std::make_unique<tomcatrunner::PageClasses>(*vm_, generated);
    }
    ~Bench() {
        classes_.reset();
        if (vm_) {
            try {
                vm_->vm.dispose();
            } catch (const std::exception&) {
            }
        }
        vm_.reset();
        tomcat_.reset();
    }

    const TrafficLog& traffic() const { return traffic_; }
    int passes() const { return passes_; }

    Measured bareSteps(BareStepper::Mode mode) {
        BareStepper stepper(*vm_, page_, tomcat_->httpPort());
        const CpuMeter cpu(tomcat_->pid());
        const auto started = Clock::now();
        const std::vector<TimedStep> steps = stepper.run("/step.jsp", mode);
        Measured m;
        m.seconds = std::chrono::duration<double>(Clock::now() - started).count();
        m.ownCpu = cpu.ownSeconds();
        m.jvmCpu = cpu.jvmSeconds();
        m.allSteps = steps.size();
        std::vector<int> lines;
        for (const TimedStep& s : steps) {
            lines.push_back(s.javaLine);
        }
        const auto [first, last] = steadyPasses(lines, page_.loopLine);
        for (std::size_t i = first + 1; i <= last; ++i) {
            m.steps.add(micros(steps[i].end - steps[i].start));
        }
        m.windows.emplace_back(steps[first + 1].start, steps[last].end);
        return m;
    }

    // The step page in the runner, the monitor replying as after Step, and asking for the
    // page's variables or not.
    Measured runnerSteps(bool variables) {
        const auto [entries, m0] = debugRequest(kStepTarget, 0, variables);
        Measured m = m0;
        std::vector<std::size_t> lineRecords;
        std::vector<int> lines;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (entries[i].kind == "%L") {
                lineRecords.push_back(i);
                lines.push_back(entries[i].javaLine);
            }
        }
        const auto [first, last] = steadyPasses(lines, page_.loopLine);
        for (std::size_t k = first; k < last; ++k) {
            const std::size_t a = lineRecords[k];
            const std::size_t b = lineRecords[k + 1];
            m.steps.add(micros(entries[b].arrived - entries[a].replied));
            m.untilNextRecord.add(micros(entries[a + 1].arrived - entries[a].replied));
            if (a + 1 < b) {
                m.htmlToLine.add(micros(entries[b].arrived - entries[a + 1].arrived));
            }
        }
        m.windows.emplace_back(entries[lineRecords[first]].replied,
                               entries[lineRecords[last]].arrived);
        // Passes 2..N run between the second arrival at the loop's test and the last one.
        const double perPass = static_cast<double>(last - first) / static_cast<double>(passes_ - 1);
        if (perPass != kLinesPerPass) {
            std::printf("  note: the runner reported %.2f lines a pass, not %d\n", perPass,
                        kLinesPerPass);
        }
        return m;
    }

    // The fast-forward page in the runner, the monitor replying as after Fast forward.
    Measured fastForward() { return debugRequest("/fastforward.jsp", 1, false).second; }

private:
    std::pair<std::vector<LineClockMonitor::Entry>, Measured>
    debugRequest(const std::string& target, int continueCode, bool variables) {
        monitor_.setContinueCode(continueCode);
        // The monitor's settings, looked at each stop as the program does.
        const fs::path settings = scratch_ / "jspdebug.properties";
        std::ofstream(settings) << "port=" << monitor_.port() << "\n"
                                << (variables ? "SendVariables=true\n" : "");
        auto variablesSwitch = std::make_shared<tracehook::VariablesSwitch>(settings.string());
        tomcatrunner::RequestOptions options;
        options.sendVariables = [variablesSwitch] {
            return variablesSwitch->enabled();
        };
        options.monitorPort = monitor_.port();
        options.webapp = scratch_ / "app";
        options.httpPort = tomcat_->httpPort();
        options.target = target;
        pagerunner::StopSignal stop;
        const CpuMeter cpu(tomcat_->pid());
        const auto started = Clock::now();
        tomcatrunner::RequestResult result;
        {
            tomcatrunner::RequestDebugger debugger(*vm_, *classes_, options, stop);
            result = debugger.run();
        }
        Measured m;
        m.ownCpu = cpu.ownSeconds();
        m.jvmCpu = cpu.jvmSeconds();
        if (result.kind != tomcatrunner::RequestResult::Kind::Ended || result.httpStatus != 200) {
            throw std::runtime_error(target + " did not run to its end: " + result.message +
                                     " (HTTP " + std::to_string(result.httpStatus) + ")");
        }
        std::vector<LineClockMonitor::Entry> entries = monitor_.takeUntilEnd(10s);
        if (entries.empty()) {
            throw std::runtime_error(target + ": the monitor saw no end record");
        }
        const bool sentVariables = std::any_of(entries.begin(), entries.end(),
                                               [](const auto& e) { return e.kind == "%V"; });
        if (sentVariables != variables) {
            throw std::runtime_error(target + (variables ? ": no variables were sent"
                                                         : ": variables were sent unasked"));
        }
        m.seconds = std::chrono::duration<double>(entries.back().arrived - started).count();
        for (const auto& e : entries) {
            m.allSteps += e.kind == "%L" ? 1 : 0;
        }
        return {std::move(entries), m};
    }

    fs::path scratch_;
    int passes_;
    int ffPasses_;
    TrafficLog traffic_;
    LineClockMonitor monitor_;
    std::unique_ptr<tomcatrunner::ManagedTomcat> tomcat_;
    std::unique_ptr<jdwp::Debuggee> vm_;
    std::unique_ptr<tomcatrunner::PageClasses> classes_;
    LoopPageClass page_;
};

// ---------------------------------------------------------------------------------------
// The report.

void printRow(const char* name, const Measured& m) {
    std::printf("  %-34s %6zu %8.0f %8.0f %8.0f %9.0f %8.0f\n", name, m.steps.size(),
                m.steps.median(), m.steps.p90(), m.steps.max(), m.ownCpuPerStep(),
                m.jvmCpuPerStep());
}

void printProfile(const char* name, const Bench& bench, const Measured& m) {
    std::printf("  %s, JDWP per step over passes 2..N:\n", name);
    TrafficProfile profile(m.steps.size());
    for (const auto& [from, to] : m.windows) {
        profile.addWindow(bench.traffic(), from, to);
    }
    profile.print("    ", m.steps.mean());
}

struct RoundFigures {
    double bare = 0;
    double runner = 0;
    double variables = 0;
    double fastForward = 0;
};

RoundFigures runRound(Bench& bench, int round, int rounds) {
    std::printf("\nround %d of %d\n", round, rounds);
    // The baseline before and after the runner's steps, so that a change of the machine's
    // load during the round weighs on both alike.
    Measured bare = bench.bareSteps(BareStepper::Mode::SetResumeClear);
    const Measured runner = bench.runnerSteps(false);
    const Measured variables = bench.runnerSteps(true);
    bare.add(bench.bareSteps(BareStepper::Mode::SetResumeClear));
    const Measured ff = bench.fastForward();
    const Measured counted = bench.bareSteps(BareStepper::Mode::CountedWithResume);
    const Measured kept = bench.bareSteps(BareStepper::Mode::KeptRequest);

    std::printf("  %-34s %6s %8s %8s %8s %9s %8s   (µs)\n", "", "steps", "median", "p90", "max",
                "CPU bench", "CPU JVM");
    printRow("runner step (reply to next %L)", runner);
    printRow("runner step, variables on", variables);
    printRow("bare JDWP step (baseline)", bare);
    printRow("what-if: Count(1) set + resume", counted);
    printRow("what-if: request kept, resume", kept);
    std::printf("  runner step: reply to the next record median %.0f µs; an %%H record came "
                "first in %.0f%% of steps, from its arrival to the line record median %.0f µs\n",
                runner.untilNextRecord.median(),
                100.0 * static_cast<double>(runner.htmlToLine.size()) /
                    static_cast<double>(std::max<std::size_t>(runner.steps.size(), 1)),
                runner.htmlToLine.median());
    std::printf("  ratio runner/baseline (medians): %.2f\n",
                runner.steps.median() / bare.steps.median());
    std::printf("  variables on: %.2f ms a step (median) [target <= %.0f ms], %.2f times the step "
                "with them off\n",
                variables.steps.median() / 1000, kVariablesStepTargetMicros / 1000,
                variables.steps.median() / runner.steps.median());
    std::printf("  fast forward: %zu line records in %.2f s, %.0f µs a line; CPU a line: bench "
                "%.0f µs, JVM %.0f µs\n",
                ff.allSteps, ff.seconds, ff.seconds * 1e6 / static_cast<double>(ff.allSteps),
                ff.ownCpuPerStep(), ff.jvmCpuPerStep());
    printProfile("runner step", bench, runner);
    printProfile("runner step, variables on", bench, variables);
    printProfile("bare JDWP step", bench, bare);
    printProfile("what-if Count(1)", bench, counted);
    printProfile("what-if kept request", bench, kept);
    std::fflush(stdout);
    return {bare.steps.median(), runner.steps.median(), variables.steps.median(), ff.seconds};
}

std::string loadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

} // namespace

int main(int argc, char** argv) {
    int rounds = 2;
    int passes = 1000;
    std::chrono::seconds limit{900};
    const std::vector<std::string> args(argv + 1, argv + argc);
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--rounds" && i + 1 < args.size()) {
            rounds = std::max(1, std::stoi(args[++i]));
        } else if (args[i] == "--passes" && i + 1 < args.size()) {
            passes = std::max(10, std::stoi(args[++i]));
        } else if (args[i] == "--limit" && i + 1 < args.size()) {
            limit = std::chrono::seconds(std::max(60, std::stoi(args[++i])));
        } else {
            std::cerr << "Usage: bench_tomcatrunner [--rounds N] [--passes N] [--limit SECONDS]\n";
            return 1;
        }
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    Watchdog watchdog(limit);
    try {
        const ScratchFolder scratch;
        std::printf("tomcatrunner in a real Tomcat: %d passes of %d mapped lines for the step, "
                    "%d lines fast forward; load average at start %s; %ld cores\n",
                    passes, kLinesPerPass, kFastForwardLines, loadAverage().c_str(),
                    ::sysconf(_SC_NPROCESSORS_ONLN));
        Bench bench(scratch.path(), passes, watchdog);
        std::vector<double> bare, runner, variables, ff;
        for (int round = 1; round <= rounds; ++round) {
            const RoundFigures f = runRound(bench, round, rounds);
            bare.push_back(f.bare);
            runner.push_back(f.runner);
            variables.push_back(f.variables);
            ff.push_back(f.fastForward);
        }
        std::printf("\nmedian of %d rounds: runner step %.0f µs [target <= %.0f], bare step %.0f "
                    "µs, ratio %.2f; fast forward %.2f s [target <= %.0f]; load average at end "
                    "%s\n",
                    rounds, medianOf(runner), kStepTargetMicros, medianOf(bare),
                    medianOf(runner) / medianOf(bare), medianOf(ff), kFastForwardTargetSeconds,
                    loadAverage().c_str());
        std::printf("variables on: %.2f ms a step [target <= %.0f ms], %.2f times the step with "
                    "them off\n",
                    medianOf(variables) / 1000, kVariablesStepTargetMicros / 1000,
                    medianOf(variables) / medianOf(runner));
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_tomcatrunner: %s\n", e.what());
        return 1;
    }
}
