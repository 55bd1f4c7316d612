#include "core/pagelaunch.h"

#include "tracehook/atomicfile.h"
#include "tracehook/properties.h"
#include "tracehook/tracer.h"

#include <sstream>

namespace tracewin {
namespace {

constexpr const char* kKinds[] = {"JspFile", "WebappPage", "AttachTomcat"};

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

void addParams(std::vector<std::string>& arguments, const std::vector<std::string>& params) {
    for (const std::string& param : params) {
        if (!trimmed(param).empty()) {
            arguments.push_back("--param");
            arguments.push_back(trimmed(param));
        }
    }
}

} // namespace

PageLaunchPlan planPageLaunch(const PageLaunchRequest& request, int monitorPort) {
    PageLaunchPlan plan;
    PageLaunchCommand command;
    command.arguments = {"--port", std::to_string(monitorPort)};
    addParams(command.arguments, request.params);
    const std::string page = trimmed(request.page);
    switch (request.kind) {
    case PageLaunchRequest::Kind::JspFile:
        if (page.empty()) {
            plan.problem = "No JSP file chosen.";
            return plan;
        }
        command.program = "pagerunner";
        command.arguments.push_back(page);
        break;
    case PageLaunchRequest::Kind::WebappPage:
        if (page.empty()) {
            plan.problem = "No JSP file chosen.";
            return plan;
        }
        command.program = "tomcatrunner";
        if (const std::string webapp = trimmed(request.webapp); !webapp.empty()) {
            command.arguments.push_back("--webapp");
            command.arguments.push_back(webapp);
        }
        command.arguments.push_back(page);
        break;
    case PageLaunchRequest::Kind::AttachTomcat: {
        const std::string agent = trimmed(request.agent);
        if (agent.empty()) {
            plan.problem = "No debugger agent (HOST:PORT) of a running Tomcat given.";
            return plan;
        }
        command.program = "tomcatrunner";
        command.arguments.push_back("--attach");
        command.arguments.push_back(agent);
        if (const std::string url = trimmed(request.url); !url.empty()) {
            command.arguments.push_back("--url");
            command.arguments.push_back(url);
        }
        break;
    }
    }
    plan.command = std::move(command);
    return plan;
}

PageLaunchSettings PageLaunchSettings::inProgramDir(const std::string& programDir) {
    return PageLaunchSettings(programDir + "/com/zet/kwo/jsp/ui/openPage.properties");
}

PageLaunchRequest PageLaunchSettings::load() const {
    PageLaunchRequest request;
    const std::optional<tracehook::Properties> props = tracehook::Properties::load(path_);
    if (!props)
        return request;
    const std::string kind = props->value("Kind");
    for (int i = 0; i < 3; ++i)
        if (kind == kKinds[i])
            request.kind = static_cast<PageLaunchRequest::Kind>(i);
    request.page = props->value("Page");
    request.webapp = props->value("Webapp");
    request.agent = props->value("Agent");
    request.url = props->value("Url");
    std::istringstream params(props->value("Params"));
    for (std::string param; std::getline(params, param);)
        if (!param.empty())
            request.params.push_back(param);
    return request;
}

bool PageLaunchSettings::save(const PageLaunchRequest& request) const {
    tracehook::Properties props;
    props.set("Kind", kKinds[static_cast<int>(request.kind)]);
    props.set("Page", request.page);
    props.set("Webapp", request.webapp);
    props.set("Agent", request.agent);
    props.set("Url", request.url);
    std::string params;
    for (const std::string& param : request.params)
        params += param + "\n";
    props.set("Params", params);
    if (const std::string error = tracehook::AtomicFile::write(path_, props.toText());
        !error.empty()) {
        tracehook::Tracer::printLine("Error: Cannot write the last opened page to " + path_ + ": " +
                                     error);
        return false;
    }
    return true;
}

} // namespace tracewin
