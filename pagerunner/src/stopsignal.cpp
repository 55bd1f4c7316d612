#include "pagerunner/stopsignal.h"

#include <sys/socket.h>

namespace pagerunner {

void StopSignal::stop() {
    std::lock_guard lock(mutex_);
    stopped_ = true;
    for (int s : sockets_)
        ::shutdown(s, SHUT_RDWR);
}

bool StopSignal::stopped() const {
    std::lock_guard lock(mutex_);
    return stopped_;
}

bool StopSignal::add(int socket) {
    std::lock_guard lock(mutex_);
    if (stopped_)
        return false;
    sockets_.insert(socket);
    return true;
}

void StopSignal::remove(int socket) {
    std::lock_guard lock(mutex_);
    sockets_.erase(socket);
}

} // namespace pagerunner
