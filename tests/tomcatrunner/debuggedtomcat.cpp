#include "debuggedtomcat.h"

#include "jdwp/debuggee.h"
#include "pagerunner/stopsignal.h"
#include "tomcatrunner/httpexchange.h"
#include "tomcatrunner/managedtomcat.h"
#include "tomcatrunner/pageclasses.h"
#include "tracehook/variablesswitch.h"

namespace tomcattest {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace tomcatrunner;

DebuggedTomcat::DebuggedTomcat(const fs::path& webapp, const fs::path& base) : webapp_(webapp) {
    ManagedTomcatOptions options;
    options.base = base;
    options.webapp = webapp;
    tomcat_ = ManagedTomcat::start(options);
    vm_ = jdwp::Debuggee::attach("127.0.0.1", tomcat_->jdwpPort());
    vm_->vm.setDefaultStratum("Java");
    classes_ =
        std::make_unique<PageClasses>(*vm_, base / "work" / "Catalina" / "localhost" / "ROOT");
}

std::unique_ptr<DebuggedTomcat>
DebuggedTomcat::servingCopiesOf(std::initializer_list<fs::path> pages, const fs::path& dir) {
    const fs::path app = dir / "app";
    fs::create_directories(app);
    for (const fs::path& source : pages) {
        fs::copy(source, app, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    }
    return std::make_unique<DebuggedTomcat>(app, dir / "base");
}

DebuggedTomcat::~DebuggedTomcat() {
    classes_.reset();
    if (vm_) {
        try {
            vm_->vm.dispose();
        } catch (const std::exception&) {
            // The server stops next anyway.
        }
    }
    vm_.reset();
    tomcat_.reset();
}

RequestResult DebuggedTomcat::debug(const std::string& target, ScriptedMonitor& monitor) {
    pagerunner::StopSignal stop;
    return debug(target, monitor.port(), stop);
}

RequestResult DebuggedTomcat::debug(const std::string& target, ScriptedMonitor& monitor,
                                    const std::function<void(RequestOptions&)>& adjust) {
    RequestOptions options;
    options.monitorPort = monitor.port();
    options.webapp = webapp_;
    options.httpPort = tomcat_->httpPort();
    options.target = target;
    adjust(options);
    pagerunner::StopSignal stop;
    RequestDebugger debugger(*vm_, *classes_, options, stop);
    return debugger.run();
}

RequestResult DebuggedTomcat::debug(const std::string& target, int monitorPort,
                                    pagerunner::StopSignal& stop, const std::string& settingsFile) {
    RequestOptions options;
    if (!settingsFile.empty()) {
        auto variables = std::make_shared<tracehook::VariablesSwitch>(settingsFile);
        options.sendVariables = [variables] {
            return variables->enabled();
        };
    }
    options.monitorPort = monitorPort;
    options.webapp = webapp_;
    options.httpPort = tomcat_->httpPort();
    options.target = target;
    RequestDebugger debugger(*vm_, *classes_, options, stop);
    return debugger.run();
}

RequestResult DebuggedTomcat::debugFromElsewhere(ScriptedMonitor& monitor,
                                                 WaitingRequests* waiting) {
    RequestOptions options;
    options.monitorPort = monitor.port();
    options.webapp = webapp_;
    options.waiting = waiting;
    pagerunner::StopSignal stop;
    RequestDebugger debugger(*vm_, *classes_, options, stop);
    return debugger.run();
}

int DebuggedTomcat::httpPort() const {
    return tomcat_->httpPort();
}

std::string DebuggedTomcat::plainBody(const std::string& target,
                                      std::chrono::milliseconds within) const {
    HttpExchange exchange("127.0.0.1", tomcat_->httpPort(), target, 5s);
    exchange.finish(within);
    return exchange.body();
}

std::vector<int> jspLines(const std::vector<std::string>& records) {
    std::vector<int> lines;
    for (const std::string& r : records) {
        if (r.starts_with("%L")) {
            std::size_t a = r.find('&');
            a = r.find('&', a + 1);
            lines.push_back(std::stoi(r.substr(a + 1)));
        }
    }
    return lines;
}

} // namespace tomcattest
