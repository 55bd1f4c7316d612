#pragma once

#include <mutex>
#include <set>

namespace pagerunner {

// Lets another thread stop a running page: stop() marks the run as stopped and shuts
// down every socket the run has open, so that a read blocked on the monitor returns at
// once. Sockets register while they are open; one that has deregistered is never touched,
// so a closed descriptor number that the system hands out again is safe.
class StopSignal {
public:
    void stop();
    bool stopped() const;

    // False, and the socket is not taken, when the run was stopped already.
    bool add(int socket);
    void remove(int socket);

private:
    mutable std::mutex mutex_;
    bool stopped_ = false;
    std::set<int> sockets_;
};

} // namespace pagerunner
