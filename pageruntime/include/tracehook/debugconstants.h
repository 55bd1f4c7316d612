#pragma once

namespace tracehook {

// The trace and dump switches. Each is decided once per process, on first use, by the
// presence of the marker file "debug.trace" or "debug.dump" in com/zet/kwo/jsp/debugger
// below the test-environment root.
class DebugConstants {
public:
    static bool getTrace();
    static bool getDump();
    // Forgets both answers, so that the next call looks for the marker files again.
    static void resetForTests();
    // Forces a switch without a marker file (tests and tools).
    static void setForTests(bool trace, bool dump);
};

} // namespace tracehook
