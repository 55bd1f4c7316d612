#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace bench {

// A page's side of one conversation: every record it sent, terminator included, in order.
struct Conversation {
    std::vector<std::string> records;
    std::size_t bytes() const;
    std::size_t count(std::string_view token) const;
};

// A loopback TCP socket with TCP_NODELAY that closes itself.
class Socket {
public:
    explicit Socket(int fd = -1) : fd_(fd) {}
    ~Socket();
    Socket(Socket&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    Socket& operator=(Socket&&) = delete;
    int fd() const { return fd_; }
    bool valid() const { return fd_ >= 0; }

    // A listener on 127.0.0.1 with a free port.
    static Socket listenLoopback();
    static Socket connectLoopback(int port);
    int localPort() const;
    Socket accept() const;
    // Writes all of data in as few writes as the kernel allows (one, for these sizes).
    bool sendAll(std::string_view data) const;
    // Reads up to one line ending in "\n"; nullopt when the peer closed first.
    std::optional<std::string> readLine(std::string& pending) const;

private:
    int fd_;
};

// Answers each record on one accepted connection as the monitor does in Fast forward: the
// resume reply, and "%T" at the page's end. onRecord sees each record without terminator.
// Returns when the peer has gone.
void answerLikeTheMonitor(const Socket& connection,
                          const std::function<void(const std::string&)>& onRecord = {});

// Runs pagerunner's page executor in this process against a recording listener and
// returns what the page sent.
// With variables, the page sends its variables before each line, as it does while the
// monitor's Variables view is shown.
Conversation recordConversation(const std::string& page, const std::filesystem::path& workDir,
                                bool variables = false);

void saveConversation(const Conversation& conversation, const std::filesystem::path& file);
Conversation loadConversation(const std::filesystem::path& file);

// The baseline: the same records and replies as a raw ping-pong between this process and
// a child running `program --ping-client PORT FILE`. The seconds of the whole exchange.
double pingPong(const Conversation& conversation, const std::string& program,
                const std::filesystem::path& scratch);

// The child's side: sends each record of the file in one write and waits for its reply.
int runPingClient(int port, const std::filesystem::path& file);

// A child process running program with its standard output on a pipe. One that is
// destroyed before it was waited for is killed and reaped, so that no path, exceptions
// included, leaves a process behind.
class Child {
public:
    Child() = default;
    // Starts the child; started() is false when it could not start.
    Child(const std::string& program, const std::vector<std::string>& arguments);
    ~Child();
    Child(Child&& other) noexcept;
    Child& operator=(Child&&) = delete;

    bool started() const { return pid_ > 0; }
    // The reading end of the child's standard output.
    int output() const { return output_; }
    void closeOutput();
    // Waits for the child; its exit code, or -1 when it did not exit normally.
    int wait();
    // The exit code once the child has ended, without waiting; nullopt while it runs.
    std::optional<int> poll();
    // Ends the child at once and reaps it.
    void kill();

private:
    int pid_ = -1;
    int output_ = -1;
    std::optional<int> exitCode_;
};

// Accepts the child's connection on listener; an invalid socket when the child ended (its
// standard output closed) or nothing came within the time.
Socket acceptFromChild(const Socket& listener, const Child& child,
                       std::chrono::seconds limit = std::chrono::seconds(60));

} // namespace bench
