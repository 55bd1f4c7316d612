#pragma once

namespace tracewin {

// Fills the system properties from the process and points the class path at the install:
// the monitor's install folder first, then the test-environment root.
void setUpInstallPaths();

} // namespace tracewin
