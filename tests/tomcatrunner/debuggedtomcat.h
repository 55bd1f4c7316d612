#pragma once

#include "scriptedmonitor.h"
#include "tomcatrunner/requestdebugger.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace jdwp {
class Debuggee;
}
namespace pagerunner {
class StopSignal;
}
namespace tomcatrunner {
class ManagedTomcat;
class PageClasses;
} // namespace tomcatrunner

namespace tomcattest {

// A private Tomcat serving one webapp, attached through JDWP, for a whole test program:
// requests to it are debugged against a stand-in monitor, or sent plainly.
class DebuggedTomcat {
public:
    // Starts the server with its files below `base`.
    DebuggedTomcat(const std::filesystem::path& webapp, const std::filesystem::path& base);
    // Copies the folders of pages into `dir`/app, one over the other, and serves them with
    // the server's files below `dir`/base.
    static std::unique_ptr<DebuggedTomcat>
    servingCopiesOf(std::initializer_list<std::filesystem::path> pages,
                    const std::filesystem::path& dir);
    ~DebuggedTomcat();
    DebuggedTomcat(const DebuggedTomcat&) = delete;
    DebuggedTomcat& operator=(const DebuggedTomcat&) = delete;

    // Sends the request ("/dir/page.jsp?x=1") and debugs it against the monitor.
    tomcatrunner::RequestResult debug(const std::string& target, ScriptedMonitor& monitor);
    // The same with the options changed first (to send variables, say).
    tomcatrunner::RequestResult
    debug(const std::string& target, ScriptedMonitor& monitor,
          const std::function<void(tomcatrunner::RequestOptions&)>& adjust);
    // The same against a monitor listening on `monitorPort`; `stop` ends it early. With a
    // settings file, variables are sent while it asks for them, as the program does.
    tomcatrunner::RequestResult debug(const std::string& target, int monitorPort,
                                      pagerunner::StopSignal& stop,
                                      const std::string& settingsFile = {});
    // Debugs the next request that comes from elsewhere (or, with `waiting`, the one that
    // waited longest), holding the requests that arrive meanwhile in `waiting`.
    tomcatrunner::RequestResult debugFromElsewhere(ScriptedMonitor& monitor,
                                                   tomcatrunner::WaitingRequests* waiting);
    int httpPort() const;
    // The body of the same request sent without a debugger.
    std::string plainBody(const std::string& target,
                          std::chrono::milliseconds within = std::chrono::seconds(60)) const;
    const std::filesystem::path& webapp() const { return webapp_; }

private:
    std::filesystem::path webapp_;
    std::unique_ptr<tomcatrunner::ManagedTomcat> tomcat_;
    std::unique_ptr<jdwp::Debuggee> vm_;
    std::unique_ptr<tomcatrunner::PageClasses> classes_;
};

// The JSP start lines of the line records ("%L1&j&LINE&...").
std::vector<int> jspLines(const std::vector<std::string>& records);

} // namespace tomcattest
