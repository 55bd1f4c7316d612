#include "tomcatrunner/compileerrorwalk.h"

#include "tracehook/compileerrorcodes.h"
#include "tracehook/pageruntimerecords.h"

#include <algorithm>

namespace tomcatrunner {

using tracehook::CompileErrorCodes;
using tracehook::PageRuntimeRecords;

void walkCompileErrors(pagerunner::MonitorSession& session, const CompileErrorRecords& records,
                       const std::string& serverMessage) {
    try {
        auto reply = session.exchange(records.fileRecord);
        if (records.errorRecords.empty()) {
            std::string message = "The page could not be compiled: " + serverMessage;
            session.endWith(PageRuntimeRecords::abnormalExitFreeForm(
                PageRuntimeRecords::safeField(message.substr(0, message.find('\n')))));
            return;
        }
        const int last = static_cast<int>(records.errorRecords.size()) - 1;
        int index = -1;
        for (;;) {
            const int code = reply.code.value_or(CompileErrorCodes::NOT_ERR);
            if (code == CompileErrorCodes::NEXT_ERR) {
                index = std::min(index + 1, last);
            } else if (code == CompileErrorCodes::PREV_ERR) {
                index = std::max(index - 1, 0);
            } else {
                index = std::max(index, 0);
            }
            reply = session.exchange(records.errorRecords[static_cast<std::size_t>(index)]);
        }
    } catch (const pagerunner::MonitorClosed&) {
        // The user is done with the errors.
    }
}

} // namespace tomcatrunner
