#pragma once

#include <string_view>

namespace tracehook {

// The identifiers of the application status events.
struct EventIDNames {
    static constexpr std::string_view appStatusEventID = "com.zet.kwo.jsp.util.AppStatusEvent";
    static constexpr std::string_view bringAppToFrontEventID =
        "com.zet.kwo.jsp.util.BringAppToFrontEvent";
};

} // namespace tracehook
