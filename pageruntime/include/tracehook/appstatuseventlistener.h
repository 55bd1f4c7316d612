#pragma once

#include "tracehook/appstatusevent.h"

namespace tracehook {

// Receives the events of an ApplicationStatus. Called on its keep-alive thread: a
// listener that touches a user interface must hand the work to that interface's thread
// (and must not wait for it there).
class AppStatusEventListener {
public:
    virtual ~AppStatusEventListener() = default;
    virtual void handleAppStatusEvent(const AppStatusEvent& event) = 0;
};

} // namespace tracehook
