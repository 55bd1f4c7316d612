#include "core/monitorarguments.h"

#include "core/monitorconstants.h"

namespace tracewin {

MonitorArguments MonitorArguments::processArgs(const std::vector<std::string>& args) {
    MonitorArguments result;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.find(MonitorConstants::HIDE_OPTION) != std::string::npos)
            result.hide = true;
        if (arg.find(MonitorConstants::EXTERNAL_OPTION) != std::string::npos)
            result.external = true;
        if (arg.find(MonitorConstants::SERVER_OPTION) != std::string::npos && i + 1 < args.size())
            result.serverRoot = args[i + 1];
    }
    return result;
}

} // namespace tracewin
