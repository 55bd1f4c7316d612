#pragma once

#include "core/runstatus.h"

#include <QString>

namespace panekit {
class Application;
}

namespace tracewin {

// Words a run status for the status line from the application's resources, naming the
// keys of the commands that go on from there as the menus bind them (so a changed binding
// changes the text with it).
class RunStatusText {
public:
    explicit RunStatusText(panekit::Application& app) : app_(app) {}

    QString text(const RunStatus& status) const;

private:
    // The key that chooses a menu item, as the user reads it ("F6", "Shift+F4").
    QString keyOf(const char* itemKey) const;
    QString resource(const char* key) const;

    panekit::Application& app_;
};

} // namespace tracewin
