// The JDWP client library against a raw baseline client, both on one JVM in the same run
// (these machines are noisy; the ratios are what count):
//   round trip  ThreadReference.FrameCount of a suspended thread
//   line step   EventRequest.Set of a line step over (count 1), ThreadReference.Resume,
//               the SingleStep event, EventRequest.Clear, through Stepper's endless loop
// The baseline is what the library cannot beat: a blocking socket with TCP_NODELAY, packets
// encoded by hand, the same commands in the same order, and only the parsing each needs.
// The agent serves one debugger at a time, so the clients take turns in blocks, attaching
// anew each time to the port the agent listens at after the last one left; the first
// rounds of a block are a warm-up and are not counted.
// Usage: bench_jdwp [--rounds N] [--block N] [--warmup N]
#include "javaprogram.h"
#include "jdwp/debuggee.h"
#include "jdwp/error.h"
#include "jdwp/events.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A failure bound only.
constexpr jdwp::Timeout FailureBound = 60s;

struct Options {
    int rounds = 2000; // counted rounds of each client, for each measure
    int block = 100;   // counted rounds in one turn of a client
    int warmup = 20;   // rounds before the counted ones in each turn
};

// Microseconds of each round of one measure of one client.
class Samples {
public:
    void add(Clock::duration d) {
        micros_.push_back(std::chrono::duration<double, std::micro>(d).count());
    }
    void add(const Samples& other) {
        micros_.insert(micros_.end(), other.micros_.begin(), other.micros_.end());
    }
    double percentile(double p) const {
        if (micros_.empty())
            return 0;
        std::vector<double> sorted = micros_;
        std::sort(sorted.begin(), sorted.end());
        const auto at = static_cast<std::size_t>(p * static_cast<double>(sorted.size() - 1));
        return sorted[at];
    }
    double median() const { return percentile(0.5); }
    double p90() const { return percentile(0.9); }

private:
    std::vector<double> micros_;
};

// Where the measured thread stops first: the loop's first line, found once by the library.
struct LoopStart {
    jdwp::MethodId method = 0;
    std::uint64_t index = 0;
};

// What one client does in its turn, the same for both.
class Client {
public:
    virtual ~Client() = default;
    // Sets a breakpoint at the loop, waits for it, clears it: the thread to measure.
    virtual jdwp::ThreadId stopInLoop(const LoopStart& start) = 0;
    virtual void roundTrip(jdwp::ThreadId thread) = 0;
    virtual void lineStep(jdwp::ThreadId thread) = 0;
    // Ends the session: the VM resumes its threads and its agent listens again.
    virtual void dispose() = 0;
};

class LibraryClient final : public Client {
public:
    explicit LibraryClient(int port) : vm_(jdwp::Debuggee::attach("127.0.0.1", port)) {}

    jdwp::ThreadId stopInLoop(const LoopStart& start) override {
        const jdwp::Location at{jdwp::TypeTag::Class, stepperClass(), start.method, start.index};
        const jdwp::RequestId request = vm_->eventRequest.set(jdwp::EventRequest::breakpoint(at));
        const std::optional<jdwp::EventSet> set = vm_->nextEvent(FailureBound);
        if (!set || set->events.size() != 1 ||
            jdwp::kindOf(set->events[0]) != jdwp::EventKind::Breakpoint)
            throw std::runtime_error("the library saw no breakpoint in the loop");
        vm_->eventRequest.clear(jdwp::EventKind::Breakpoint, request);
        return *jdwp::threadOf(set->events[0]);
    }

    void roundTrip(jdwp::ThreadId thread) override { vm_->thread.frameCount(thread); }

    void lineStep(jdwp::ThreadId thread) override {
        const jdwp::RequestId request = vm_->eventRequest.set(
            jdwp::EventRequest::step(thread, jdwp::StepSize::Line, jdwp::StepDepth::Over).count(1));
        vm_->thread.resume(thread);
        const std::optional<jdwp::EventSet> set = vm_->nextEvent(FailureBound);
        if (!set || set->events.empty() || jdwp::requestIdOf(set->events[0]) != request)
            throw std::runtime_error("the library saw no step event");
        vm_->eventRequest.clear(jdwp::EventKind::SingleStep, request);
    }

    void dispose() override { vm_->vm.dispose(); }

private:
    jdwp::ReferenceTypeId stepperClass() {
        const std::vector<jdwp::ClassInfo> found = vm_->vm.classesBySignature("LStepper;");
        if (found.size() != 1)
            throw std::runtime_error("Stepper is not loaded");
        return found[0].typeId;
    }

    std::unique_ptr<jdwp::Debuggee> vm_;
};

// The baseline: a blocking loopback socket and hand-made packets. It reads a reply's or an
// event's header and data whole, and parses only what the next command needs.
class RawClient final : public Client {
public:
    explicit RawClient(int port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd_ < 0)
            throw std::runtime_error("raw client: no socket");
        const int on = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        // Only to fail instead of hanging if the VM stops answering.
        const timeval bound{static_cast<time_t>(FailureBound.count() / 1000), 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            throw std::runtime_error("raw client: cannot connect");
        const std::string handshake = "JDWP-Handshake";
        sendAll(reinterpret_cast<const std::uint8_t*>(handshake.data()), handshake.size());
        std::vector<std::uint8_t> answer(handshake.size());
        receiveAll(answer.data(), answer.size());
        if (!std::equal(answer.begin(), answer.end(), handshake.begin()))
            throw std::runtime_error("raw client: no JDWP handshake");
        const std::vector<std::uint8_t> sizes = command(1, 7, {}); // VirtualMachine.IDSizes
        fieldIdSize_ = readI32(sizes, 0);
        methodIdSize_ = readI32(sizes, 4);
        objectIdSize_ = readI32(sizes, 8);
        referenceTypeIdSize_ = readI32(sizes, 12);
    }
    ~RawClient() override { ::close(fd_); }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    jdwp::ThreadId stopInLoop(const LoopStart& start) override {
        std::vector<std::uint8_t> signature;
        putString(signature, "LStepper;");
        const std::vector<std::uint8_t> classes = command(1, 2, signature); // ClassesBySignature
        if (readI32(classes, 0) != 1)
            throw std::runtime_error("raw client: Stepper is not loaded");
        const std::uint64_t type = readId(classes, 5, referenceTypeIdSize_);

        std::vector<std::uint8_t> request{2, 1}; // Breakpoint, suspend the event's thread
        putI32(request, 1);
        request.push_back(7); // LocationOnly
        request.push_back(1); // a class
        putId(request, type, referenceTypeIdSize_);
        putId(request, start.method, methodIdSize_);
        putId(request, start.index, 8);
        const std::int32_t id = readI32(command(15, 1, request), 0);
        const std::vector<std::uint8_t> event = nextEvent();
        // suspendPolicy, count, kind, requestId, thread
        if (event.at(5) != 2 || readI32(event, 6) != id)
            throw std::runtime_error("raw client: no breakpoint in the loop");
        const jdwp::ThreadId thread = readId(event, 10, objectIdSize_);
        clear(2, id);
        return thread;
    }

    void roundTrip(jdwp::ThreadId thread) override {
        std::vector<std::uint8_t> data;
        putId(data, thread, objectIdSize_);
        readI32(command(11, 5, data), 0); // ThreadReference.FrameCount
    }

    void lineStep(jdwp::ThreadId thread) override {
        std::vector<std::uint8_t> request{1, 1}; // SingleStep, suspend the event's thread
        putI32(request, 2);
        request.push_back(10); // Step
        putId(request, thread, objectIdSize_);
        putI32(request, 1);   // a line
        putI32(request, 1);   // over
        request.push_back(1); // Count
        putI32(request, 1);
        const std::int32_t id = readI32(command(15, 1, request), 0);
        std::vector<std::uint8_t> resume;
        putId(resume, thread, objectIdSize_);
        command(11, 3, resume); // ThreadReference.Resume
        const std::vector<std::uint8_t> event = nextEvent();
        if (event.at(5) != 1 || readI32(event, 6) != id)
            throw std::runtime_error("raw client: no step event");
        clear(1, id);
    }

    void dispose() override { command(1, 6, {}); }

private:
    void clear(std::uint8_t kind, std::int32_t id) {
        std::vector<std::uint8_t> data{kind};
        putI32(data, id);
        command(15, 2, data); // EventRequest.Clear
    }

    // Sends a command and returns its reply's data; event packets met meanwhile are kept.
    std::vector<std::uint8_t> command(std::uint8_t set, std::uint8_t cmd,
                                      const std::vector<std::uint8_t>& data) {
        const std::uint32_t id = nextId_++;
        std::vector<std::uint8_t> packet;
        putI32(packet, static_cast<std::int32_t>(11 + data.size()));
        putI32(packet, static_cast<std::int32_t>(id));
        packet.insert(packet.end(), {0, set, cmd});
        packet.insert(packet.end(), data.begin(), data.end());
        sendAll(packet.data(), packet.size());
        for (;;) {
            std::uint8_t header[11];
            receiveAll(header, sizeof header);
            std::vector<std::uint8_t> body(readU32(header) - 11);
            receiveAll(body.data(), body.size());
            if ((header[8] & 0x80) == 0) {
                events_.push_back(std::move(body));
                continue;
            }
            if (readU32(header + 4) != id)
                throw std::runtime_error("raw client: a reply to another command");
            if (header[9] != 0 || header[10] != 0)
                throw std::runtime_error("raw client: error " +
                                         std::to_string(header[9] * 256 + header[10]));
            return body;
        }
    }

    std::vector<std::uint8_t> nextEvent() {
        if (!events_.empty()) {
            std::vector<std::uint8_t> event = std::move(events_.front());
            events_.erase(events_.begin());
            return event;
        }
        std::uint8_t header[11];
        receiveAll(header, sizeof header);
        std::vector<std::uint8_t> body(readU32(header) - 11);
        receiveAll(body.data(), body.size());
        if (header[8] & 0x80)
            throw std::runtime_error("raw client: a reply where an event was due");
        return body;
    }

    void sendAll(const std::uint8_t* data, std::size_t size) {
        while (size > 0) {
            const ssize_t n = ::send(fd_, data, size, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                throw std::runtime_error("raw client: cannot send");
            data += n;
            size -= static_cast<std::size_t>(n);
        }
    }

    void receiveAll(std::uint8_t* data, std::size_t size) {
        while (size > 0) {
            const ssize_t n = ::recv(fd_, data, size, 0);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                throw std::runtime_error("raw client: the VM went away or did not answer");
            data += n;
            size -= static_cast<std::size_t>(n);
        }
    }

    static std::uint32_t readU32(const std::uint8_t* p) {
        return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 |
               p[3];
    }
    static std::int32_t readI32(const std::vector<std::uint8_t>& data, std::size_t at) {
        if (at + 4 > data.size())
            throw std::runtime_error("raw client: a short reply");
        return static_cast<std::int32_t>(readU32(data.data() + at));
    }
    static std::uint64_t readId(const std::vector<std::uint8_t>& data, std::size_t at, int size) {
        if (at + static_cast<std::size_t>(size) > data.size())
            throw std::runtime_error("raw client: a short reply");
        std::uint64_t value = 0;
        for (int i = 0; i < size; ++i)
            value = value << 8 | data[at + static_cast<std::size_t>(i)];
        return value;
    }
    static void putI32(std::vector<std::uint8_t>& out, std::int32_t v) {
        putId(out, static_cast<std::uint32_t>(v), 4);
    }
    static void putId(std::vector<std::uint8_t>& out, std::uint64_t v, int size) {
        for (int i = size - 1; i >= 0; --i)
            out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    static void putString(std::vector<std::uint8_t>& out, const std::string& s) {
        putI32(out, static_cast<std::int32_t>(s.size()));
        out.insert(out.end(), s.begin(), s.end());
    }

    int fd_ = -1;
    std::uint32_t nextId_ = 1;
    int fieldIdSize_ = 8;
    int methodIdSize_ = 8;
    int objectIdSize_ = 8;
    int referenceTypeIdSize_ = 8;
    std::vector<std::vector<std::uint8_t>> events_;
};

struct Measures {
    Samples roundTrip;
    Samples lineStep;
};

// One client's turn: stop in the loop, warm up, count rounds of each measure, leave.
Measures takeTurn(Client& client, const LoopStart& start, const Options& options) {
    Measures into;
    const jdwp::ThreadId thread = client.stopInLoop(start);
    for (int i = 0; i < options.warmup; ++i) {
        client.roundTrip(thread);
        client.lineStep(thread);
    }
    for (int i = 0; i < options.block; ++i) {
        const auto begin = Clock::now();
        client.roundTrip(thread);
        into.roundTrip.add(Clock::now() - begin);
    }
    for (int i = 0; i < options.block; ++i) {
        const auto begin = Clock::now();
        client.lineStep(thread);
        into.lineStep.add(Clock::now() - begin);
    }
    client.dispose();
    return into;
}

Options parse(int argc, char** argv) {
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const int value = std::stoi(argv[i + 1]);
        if (value <= 0)
            throw std::runtime_error(name + " needs a positive number");
        if (name == "--rounds")
            options.rounds = value;
        else if (name == "--block")
            options.block = value;
        else if (name == "--warmup")
            options.warmup = value;
        else
            throw std::runtime_error("unknown option " + name);
    }
    if (argc % 2 == 0)
        throw std::runtime_error("usage: bench_jdwp [--rounds N] [--block N] [--warmup N]");
    options.block = std::min(options.block, options.rounds);
    return options;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// Both clients' rounds of one measure, pooled, and the ratio of their medians turn by turn:
// adjacent turns share the machine's load of the moment, which pooled medians would not.
class Comparison {
public:
    explicit Comparison(const char* what) : what_(what) {}

    void addPair(const Samples& library, const Samples& raw) {
        library_.add(library);
        raw_.add(raw);
        ratios_.push_back(library.median() / raw.median());
    }
    void print() const {
        std::printf("%-44s library %6.1f (%6.1f)  raw %6.1f (%6.1f)  ratio %.2f  [target <= 1.2]\n",
                    what_, library_.median(), library_.p90(), raw_.median(), raw_.p90(),
                    median(ratios_));
    }

private:
    const char* what_;
    Samples library_;
    Samples raw_;
    std::vector<double> ratios_;
};

// The first session lets the program start: it waits for Stepper's preparation, finds the
// loop, and leaves, so that the loop runs until a client stops it.
LoopStart startProgram(int port, int loopLine) {
    const auto vm = jdwp::Debuggee::attach("127.0.0.1", port);
    const auto started = vm->nextEvent(FailureBound);
    if (!started || jdwp::kindOf(started->events.at(0)) != jdwp::EventKind::VmStart)
        throw std::runtime_error("the VM did not start");
    vm->eventRequest.set(jdwp::EventRequest::classPrepare().classMatch("Stepper"));
    vm->vm.resume();
    const auto prepared = vm->nextEvent(FailureBound);
    const auto* event =
        prepared ? std::get_if<jdwp::ClassPrepareEvent>(&prepared->events.at(0)) : nullptr;
    if (!event)
        throw std::runtime_error("Stepper was not prepared");
    for (const jdwp::MethodInfo& m : vm->referenceType.methods(event->typeId))
        for (const jdwp::LineTableEntry& e : vm->method.lineTable(event->typeId, m.methodId).lines)
            if (e.lineNumber == loopLine) {
                vm->vm.dispose();
                return {m.methodId, e.lineCodeIndex};
            }
    throw std::runtime_error("no code on the loop's line");
}

int run(const Options& options) {
    const jdwptest::CompiledJava classes(TRACEWIN_JAVAC, JDWP_STEPPER_SOURCE);
    const jdwptest::LineMarkers markers(JDWP_STEPPER_SOURCE);
    jdwptest::AgentJvm jvm(TRACEWIN_JAVA, classes, "Stepper", {"spin"}, FailureBound);
    const LoopStart start = startProgram(jvm.port(), markers.line("spin-add"));

    Comparison roundTrips("round trip (ThreadReference.FrameCount)");
    Comparison lineSteps("line step (Set, Resume, SingleStep, Clear)");
    const int turns = (options.rounds + options.block - 1) / options.block;
    for (int turn = 0; turn < turns; ++turn) {
        // Who goes first alternates, so that neither always comes right after a detach.
        Measures library;
        Measures raw;
        for (int k = 0; k < 2; ++k) {
            const int port = jvm.waitForNextPort(FailureBound);
            if ((turn + k) % 2 == 0) {
                LibraryClient client(port);
                library = takeTurn(client, start, options);
            } else {
                RawClient client(port);
                raw = takeTurn(client, start, options);
            }
        }
        roundTrips.addPair(library.roundTrip, raw.roundTrip);
        lineSteps.addPair(library.lineStep, raw.lineStep);
    }
    std::printf("bench_jdwp: one JVM, %d rounds of each client in turns of %d (after %d to warm "
                "up);\nmicroseconds, median (p90); ratio: median of the turns' library/raw\n",
                turns * options.block, options.block, options.warmup);
    roundTrips.print();
    lineSteps.print();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    try {
        return run(parse(argc, argv));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_jdwp: %s\n", e.what());
        return 1;
    }
}
