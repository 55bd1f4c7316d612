#pragma once

#include "panekit/action.h"

#include <functional>

namespace tracewin {

// One command of a page controller as a framework action: run on the user-interface
// thread, after the menu or button that chose it has finished its own work.
class CommandAction final : public panekit::Action {
    Q_OBJECT
public:
    CommandAction(panekit::Tool* tool, std::function<void()> command);
    void run() override;

private:
    std::function<void()> command_;
};

} // namespace tracewin
