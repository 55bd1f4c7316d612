#pragma once

#include <chrono>
#include <initializer_list>
#include <set>

namespace tomcatrunner {

// Signals turned into bytes on a pipe, so that a single-threaded process waits for them and
// for a time at once with poll(), and a signal that comes while it is busy waits for it.
// Handlers rather than blocked signals: a blocked signal stays blocked in the children
// (a JVM) started meanwhile. One object per process.
class SignalPipe {
public:
    // Catches the signals, and unblocks them.
    explicit SignalPipe(std::initializer_list<int> signals);
    ~SignalPipe();
    SignalPipe(const SignalPipe&) = delete;
    SignalPipe& operator=(const SignalPipe&) = delete;

    // The signals caught since the last call, waiting up to `timeout` for one.
    std::set<int> wait(std::chrono::milliseconds timeout);

private:
    int fds_[2] = {-1, -1};
    std::set<int> signals_;
};

} // namespace tomcatrunner
