#pragma once

#include <optional>
#include <string>

namespace tracewin {

// Fills the system properties from the process and points the class path at the install:
// the monitor's install folder first, then the test-environment root. The runtime home
// (the folder of the programs, below which the install is found) is the running program's
// folder unless given, as it is by a harness running the monitor from elsewhere.
void setUpInstallPaths(const std::optional<std::string>& runtimeHome = std::nullopt);

} // namespace tracewin
