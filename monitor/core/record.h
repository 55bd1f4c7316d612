#pragma once

#include "tracehook/jspsourceinfo.h"
#include "tracehook/pagevariables.h"

#include <memory>

namespace tracewin {

// A record of the page runtime, parsed, as the monitor passes it around in its events.
using Record = std::shared_ptr<const tracehook::JspSourceInfo>;
// The variables a page runtime sent for one stop.
using Variables = std::shared_ptr<const tracehook::PageVariables::Parsed>;

} // namespace tracewin
