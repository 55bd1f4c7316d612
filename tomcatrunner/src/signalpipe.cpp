#include "tomcatrunner/signalpipe.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <unistd.h>

namespace tomcatrunner {

namespace {

int writeEnd = -1;

extern "C" void onSignal(int signal) {
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(signal);
    (void)!::write(writeEnd, &byte, 1);
    errno = saved;
}

void setFlags(int fd) {
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

} // namespace

SignalPipe::SignalPipe(std::initializer_list<int> signals) : signals_(signals) {
    if (::pipe(fds_) != 0) {
        throw std::runtime_error("cannot create a pipe for signals");
    }
    setFlags(fds_[0]);
    setFlags(fds_[1]);
    writeEnd = fds_[1];
    sigset_t set;
    sigemptyset(&set);
    struct sigaction action {};
    action.sa_handler = onSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (const int s : signals_) {
        ::sigaction(s, &action, nullptr);
        sigaddset(&set, s);
    }
    ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

SignalPipe::~SignalPipe() {
    for (const int s : signals_) {
        ::signal(s, SIG_DFL);
    }
    writeEnd = -1;
    ::close(fds_[0]);
    ::close(fds_[1]);
}

std::set<int> SignalPipe::wait(std::chrono::milliseconds timeout) {
    pollfd p{fds_[0], POLLIN, 0};
    ::poll(&p, 1, static_cast<int>(timeout.count()));
    std::set<int> caught;
    unsigned char bytes[64];
    ssize_t n = 0;
    while ((n = ::read(fds_[0], bytes, sizeof bytes)) > 0) {
        caught.insert(bytes, bytes + n);
    }
    return caught;
}

} // namespace tomcatrunner
