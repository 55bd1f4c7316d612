#pragma once

namespace tracewin {

// Shows the error dialogs of tracehook's MessageHandler as modal message boxes on the
// user-interface thread. Installed once at start-up.
class QtMessagePresenter {
public:
    static void install();
};

} // namespace tracewin
