#pragma once

#include "pagerunner/monitorsession.h"
#include "tomcatrunner/jaspererrors.h"

namespace tomcatrunner {

// Shows a page that failed to compile: its "%M" record, then its errors one at a time as
// the user walks them with Previous error and Next error, until the monitor closes the
// conversation. Without an error to show, the page ends with an abnormal end that quotes
// the server's message. Throws pagerunner::ConnectionError when the monitor goes away.
void walkCompileErrors(pagerunner::MonitorSession& session, const CompileErrorRecords& records,
                       const std::string& serverMessage);

} // namespace tomcatrunner
