#include "tracehook/debugconstants.h"

#include "tracehook/jspdebugdynamicpathfactory.h"

#include <fstream>
#include <mutex>

namespace tracehook {
namespace {

struct Switches {
    std::mutex mutex;
    bool traceOn = false;
    bool traceRead = false;
    bool dumpOn = false;
    bool dumpRead = false;
};

Switches& switches() {
    static Switches instance;
    return instance;
}

bool markerExists(const char* name) {
    std::optional<std::string> root = JspDebugDynamicPathFactory::getHarbeckFullPath();
    if (!root)
        return false;
    std::ifstream marker(*root + "/com/zet/kwo/jsp/debugger/" + name);
    return marker.is_open();
}

bool decide(bool& on, bool& read, const char* marker) {
    Switches& s = switches();
    {
        std::lock_guard lock(s.mutex);
        if (read)
            return on;
    }
    // Path resolution may itself trace, which asks again: tracing stays off while the
    // answer is being found.
    thread_local bool deciding = false;
    if (deciding)
        return false;
    deciding = true;
    bool exists = markerExists(marker);
    deciding = false;
    std::lock_guard lock(s.mutex);
    if (!read) {
        on = exists;
        read = true;
    }
    return on;
}

} // namespace

bool DebugConstants::getTrace() {
    Switches& s = switches();
    return decide(s.traceOn, s.traceRead, "debug.trace");
}

bool DebugConstants::getDump() {
    Switches& s = switches();
    return decide(s.dumpOn, s.dumpRead, "debug.dump");
}

void DebugConstants::lookAgain() {
    Switches& s = switches();
    std::lock_guard lock(s.mutex);
    s.traceOn = s.traceRead = s.dumpOn = s.dumpRead = false;
}

void DebugConstants::force(bool trace, bool dump) {
    Switches& s = switches();
    std::lock_guard lock(s.mutex);
    s.traceOn = trace;
    s.dumpOn = dump;
    s.traceRead = s.dumpRead = true;
}

} // namespace tracehook
