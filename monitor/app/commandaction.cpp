#include "app/commandaction.h"

namespace tracewin {

CommandAction::CommandAction(panekit::Tool* tool, std::function<void()> command)
    : panekit::Action(true), command_(std::move(command)) {
    setTool(tool);
}

void CommandAction::run() {
    if (command_)
        command_();
}

} // namespace tracewin
