#pragma once

#include "pagerunner/monitorconnection.h"
#include "pagerunner/monitorsession.h"
#include "tomcatrunner/spanfinder.h"
#include "tracehook/jspsourcetable.h"

#include <memory>
#include <string>

namespace tomcatrunner {

// One JSP file of a running page as the monitor sees it: its own connection and file id,
// the source table of the lines reported so far, and the spans of its elements. A page has
// one for its own file and one for each file it statically includes.
struct FileChannel {
    FileChannel(std::unique_ptr<pagerunner::MonitorConnection> connection, int fileId,
                pagerunner::MonitorSession::Hooks hooks, std::string jspPath,
                std::string javaPath, std::string jspText);

    std::unique_ptr<pagerunner::MonitorConnection> connection;
    pagerunner::MonitorSession session;
    std::shared_ptr<tracehook::JspSourceTable> table;
    SpanFinder spans;
    std::int32_t javaLine = 0; // reported last; 0 before the first
    bool ended = false;
};

} // namespace tomcatrunner
