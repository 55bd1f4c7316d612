#include "loopback.h"

#include "pagerunner/pagerunner.h"
#include "tracehook/monitorreplies.h"
#include "tracehook/recordframer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>

extern char** environ;

namespace bench {

namespace {

constexpr std::string_view kTerminator = "%%%END%%%";

void noDelay(int fd) {
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

sockaddr_in loopback(int port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return addr;
}

bool endsThePage(const std::string& record) {
    return record.starts_with("%E") || record.starts_with("%A");
}

int exitCodeOf(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

std::size_t Conversation::bytes() const {
    std::size_t n = 0;
    for (const std::string& r : records)
        n += r.size();
    return n;
}

std::size_t Conversation::count(std::string_view token) const {
    std::size_t n = 0;
    for (const std::string& r : records)
        n += r.starts_with(token) ? 1 : 0;
    return n;
}

Socket::~Socket() {
    if (fd_ >= 0)
        ::close(fd_);
}

Socket Socket::listenLoopback() {
    Socket s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in addr = loopback(0);
    if (!s.valid() || ::bind(s.fd(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(s.fd(), 4) != 0)
        throw std::runtime_error("cannot listen on the loopback address");
    return s;
}

Socket Socket::connectLoopback(int port) {
    Socket s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in addr = loopback(port);
    if (!s.valid() || ::connect(s.fd(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
        return Socket();
    noDelay(s.fd());
    return s;
}

int Socket::localPort() const {
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
    return ntohs(addr.sin_port);
}

Socket Socket::accept() const {
    Socket c(::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC));
    if (c.valid())
        noDelay(c.fd());
    return c;
}

bool Socket::sendAll(std::string_view data) const {
    while (!data.empty()) {
        const ssize_t n = ::send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::optional<std::string> Socket::readLine(std::string& pending) const {
    char buf[4096];
    while (true) {
        if (const std::size_t eol = pending.find('\n'); eol != std::string::npos) {
            std::string line = pending.substr(0, eol);
            pending.erase(0, eol + 1);
            return line;
        }
        const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return std::nullopt;
        pending.append(buf, static_cast<std::size_t>(n));
    }
}

void answerLikeTheMonitor(const Socket& connection,
                          const std::function<void(const std::string&)>& onRecord) {
    const std::string resume =
        tracehook::MonitorReplies::getResumeReturnStr("1", std::nullopt, 21) + "\n";
    const std::string end = tracehook::MonitorReplies::getServerExitStr() + "\n";
    tracehook::RecordFramer framer{std::string(kTerminator)};
    std::vector<char> buf(1 << 16);
    while (true) {
        const ssize_t n = ::recv(connection.fd(), buf.data(), buf.size(), 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        framer.append(std::string_view(buf.data(), static_cast<std::size_t>(n)));
        while (std::optional<std::string> record = framer.next()) {
            if (onRecord)
                onRecord(*record);
            if (!connection.sendAll(endsThePage(*record) ? end : resume))
                return;
        }
    }
}

Conversation recordConversation(const std::string& page, const std::filesystem::path& workDir,
                                bool variables) {
    Socket listener = Socket::listenLoopback();
    Conversation conversation;
    std::thread monitor([&] {
        Socket c = listener.accept();
        answerLikeTheMonitor(c, [&](const std::string& record) {
            conversation.records.push_back(record + std::string(kTerminator));
        });
    });
    pagerunner::PageRunnerOptions options;
    options.page = page;
    options.port = listener.localPort();
    options.workDir = workDir.string();
    if (variables) {
        options.settingsFile = (workDir / "variables-on.properties").string();
        std::ofstream(options.settingsFile) << "port=0\nSendVariables=true\n";
    }
    const int rc = pagerunner::PageRunner(options).run();
    monitor.join();
    if (rc != pagerunner::ExitCode::Ok)
        throw std::runtime_error("the page " + page + " did not run to its end");
    return conversation;
}

void saveConversation(const Conversation& conversation, const std::filesystem::path& file) {
    std::ofstream out(file, std::ios::binary);
    for (const std::string& r : conversation.records)
        out << r;
    if (!out)
        throw std::runtime_error("cannot write " + file.string());
}

Conversation loadConversation(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    tracehook::RecordFramer framer{std::string(kTerminator)};
    framer.append(text);
    Conversation conversation;
    while (std::optional<std::string> record = framer.next())
        conversation.records.push_back(*record + std::string(kTerminator));
    return conversation;
}

double pingPong(const Conversation& conversation, const std::string& program,
                const std::filesystem::path& scratch) {
    const std::filesystem::path file = scratch / "conversation.records";
    saveConversation(conversation, file);
    Socket listener = Socket::listenLoopback();
    Child child(program, {"--ping-client", std::to_string(listener.localPort()), file.string()});
    if (!child.started())
        throw std::runtime_error("cannot start " + program);
    Socket c = acceptFromChild(listener, child);
    if (!c.valid())
        throw std::runtime_error("the ping-pong client did not connect");
    const auto start = std::chrono::steady_clock::now();
    answerLikeTheMonitor(c);
    const auto stop = std::chrono::steady_clock::now();
    if (const int code = child.wait(); code != 0)
        throw std::runtime_error("the ping-pong client failed (exit code " + std::to_string(code) +
                                 ")");
    return std::chrono::duration<double>(stop - start).count();
}

int runPingClient(int port, const std::filesystem::path& file) {
    const Conversation conversation = loadConversation(file);
    Socket s = Socket::connectLoopback(port);
    if (!s.valid())
        return 3;
    std::string pending;
    for (const std::string& record : conversation.records) {
        if (!s.sendAll(record) || !s.readLine(pending))
            return 4;
    }
    return 0;
}

Child::Child(const std::string& program, const std::vector<std::string>& arguments) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    std::vector<std::string> args{program};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (rc != 0) {
        ::close(pipeFds[0]);
        return;
    }
    pid_ = pid;
    output_ = pipeFds[0];
}

Child::Child(Child&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)), output_(std::exchange(other.output_, -1)),
      exitCode_(other.exitCode_) {}

Child::~Child() {
    kill();
    closeOutput();
}

void Child::closeOutput() {
    if (output_ >= 0)
        ::close(output_);
    output_ = -1;
}

int Child::wait() {
    if (!started() || exitCode_)
        return exitCode_.value_or(-1);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    exitCode_ = exitCodeOf(status);
    return *exitCode_;
}

std::optional<int> Child::poll() {
    if (!started() || exitCode_)
        return exitCode_;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_)
        exitCode_ = exitCodeOf(status);
    return exitCode_;
}

void Child::kill() {
    if (!started() || exitCode_)
        return;
    ::kill(pid_, SIGKILL);
    wait();
}

Socket acceptFromChild(const Socket& listener, const Child& child, std::chrono::seconds limit) {
    // The child's end of its output pipe closes when it ends: a failed child is an answer,
    // not a wait that never ends.
    pollfd fds[2] = {{listener.fd(), POLLIN, 0}, {child.output(), POLLIN, 0}};
    const int ready =
        ::poll(fds, child.output() >= 0 ? 2 : 1, static_cast<int>(limit.count() * 1000));
    if (ready <= 0 || !(fds[0].revents & POLLIN))
        return Socket();
    return listener.accept();
}

} // namespace bench
