#pragma once

#include "tracehook/appstatusevent.h"

#include <string>

namespace tracehook {

// Another program asked, through the status file, that this one come to the front.
class BringAppToFrontEvent : public AppStatusEvent {
public:
    // The source is a one-blank text.
    BringAppToFrontEvent() : BringAppToFrontEvent(std::any(std::string(" "))) {}
    explicit BringAppToFrontEvent(std::any source)
        : AppStatusEvent(std::move(source), EventIDNames::bringAppToFrontEventID) {}
};

} // namespace tracehook
