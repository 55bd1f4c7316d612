#pragma once

#include "tracehook/eventidnames.h"

#include <any>
#include <string>
#include <string_view>

namespace tracehook {

// An event of the application status file, told to its listeners. Kinds are told apart
// by their identifier (getEventNameID), which each subclass passes to the base.
class AppStatusEvent {
public:
    explicit AppStatusEvent(std::any source)
        : AppStatusEvent(std::move(source), EventIDNames::appStatusEventID) {}
    virtual ~AppStatusEvent() = default;

    // What raised the event (the ApplicationStatus for events of its keep-alive thread).
    const std::any& getSource() const { return source_; }
    const std::string& getEventNameID() const { return eventNameID_; }

protected:
    AppStatusEvent(std::any source, std::string_view eventNameID)
        : source_(std::move(source)), eventNameID_(eventNameID) {}

private:
    std::any source_;
    std::string eventNameID_;
};

} // namespace tracehook
