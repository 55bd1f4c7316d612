#pragma once

#include "tracehook/jspsourceinfo.h"

#include <memory>

namespace tracewin {

// A record of the page runtime, parsed, as the monitor passes it around in its events.
using Record = std::shared_ptr<const tracehook::JspSourceInfo>;

} // namespace tracewin
