#include "pagerunner/requestcontext.h"

#include "tracehook/jspsourceinfo.h"

namespace pagerunner {

RequestContext::RequestContext(int port, std::map<std::string, std::string> params,
                               std::string workDir, std::string rootDir, int firstFileId,
                               StopSignal& stop)
    : port_(port), params_(std::move(params)), compiler_(std::move(workDir)),
      rootDir_(std::move(rootDir)), nextFileId_(firstFileId), stop_(stop) {}

const RequestContext::PagePosition* RequestContext::findPosition(int fileId) const {
    auto it = positions_.find(fileId);
    return it == positions_.end() ? nullptr : &it->second;
}

void RequestContext::setBreakpoint(int fileId, std::int32_t line, std::int32_t action) {
    std::lock_guard lock(breakpointMutex_);
    if (action == tracehook::JspSourceInfo::SET_BREAK_PT)
        breakpoints_[fileId].insert(line);
    else if (action == tracehook::JspSourceInfo::CLEAR_BREAK_PT)
        breakpoints_[fileId].erase(line);
}

std::set<std::int32_t> RequestContext::breakpoints(int fileId) const {
    std::lock_guard lock(breakpointMutex_);
    auto it = breakpoints_.find(fileId);
    return it == breakpoints_.end() ? std::set<std::int32_t>() : it->second;
}

} // namespace pagerunner
