#pragma once

namespace tracehook {

// The trace and dump switches. Each is decided once per process, on first use, by the
// presence of the marker file "debug.trace" or "debug.dump" in com/zet/kwo/jsp/debugger
// below the test-environment root.
class DebugConstants {
public:
    static bool getTrace();
    static bool getDump();
    // Forgets both answers, so that the next call looks for the marker files again (the
    // test-environment root has changed).
    static void lookAgain();
    // Sets both switches without marker files (tests and tools).
    static void force(bool trace, bool dump);
};

} // namespace tracehook
