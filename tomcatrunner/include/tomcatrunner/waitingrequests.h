#pragma once

#include "jdwp/types.h"
#include "tomcatrunner/pageclasses.h"

#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>

namespace tomcatrunner {

// Requests that entered a page while another request was being debugged, held there until
// their turn (attach mode with --all). Each is a thread the debugger suspended once, at the
// entry of a page's service method. Whatever is still held when the run ends goes on when
// the debugger lets go of the VM. The debugger fills and empties it; other threads may
// watch how many wait.
class WaitingRequests {
public:
    struct Waiting {
        jdwp::ThreadId thread = 0;
        jdwp::Location location;
        EntryPoint entry;
    };

    void hold(const Waiting& waiting) {
        const std::lock_guard lock(mutex_);
        queue_.push_back(waiting);
    }
    // The request that has waited longest.
    std::optional<Waiting> next() {
        const std::lock_guard lock(mutex_);
        if (queue_.empty()) {
            return std::nullopt;
        }
        Waiting first = queue_.front();
        queue_.pop_front();
        return first;
    }
    std::size_t size() const {
        const std::lock_guard lock(mutex_);
        return queue_.size();
    }

private:
    mutable std::mutex mutex_;
    std::deque<Waiting> queue_;
};

} // namespace tomcatrunner
