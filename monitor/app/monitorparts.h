#pragma once

namespace panekit {
class PartsFactory;
}

namespace tracewin {

// Registers every tool and model class that the monitor's configuration names.
void registerMonitorParts(panekit::PartsFactory& factory);

} // namespace tracewin
