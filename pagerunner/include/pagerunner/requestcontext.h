#pragma once

#include "pagerunner/pagecompiler.h"
#include "tracehook/variablesswitch.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

namespace pagerunner {

class StopSignal;

// What the pages of one request share: the monitor's port, the request parameters, the
// page compiler, file ids, the breakpoints the monitor set and where each page stands.
class RequestContext {
public:
    static constexpr int maxIncludeDepth = 16;

    // Where a page of the request stands: its source map and the Java line it reported
    // last (0 before its first line).
    struct PagePosition {
        std::shared_ptr<const tracehook::JspSourceTable> sourceTable;
        std::int32_t javaLine = 0;
    };

    RequestContext(int port, std::map<std::string, std::string> params, std::string workDir,
                   std::string rootDir, int firstFileId, StopSignal& stop);

    int port() const { return port_; }
    const std::map<std::string, std::string>& params() const { return params_; }
    PageCompiler& compiler() { return compiler_; }
    StopSignal& stop() { return stop_; }
    // The folder that include paths starting with "/" are taken from.
    const std::string& rootDir() const { return rootDir_; }

    int newFileId() { return nextFileId_++; }

    // Include nesting of the page running now (0 for the requested page).
    int depth() const { return depth_; }
    void enter() { ++depth_; }
    void leave() { --depth_; }

    // The position record of a page, kept for the life of the request.
    PagePosition& position(int fileId) { return positions_[fileId]; }
    const PagePosition* findPosition(int fileId) const;

    // Set (action 1) or clear (action 2) a breakpoint; other actions are dropped.
    void setBreakpoint(int fileId, std::int32_t line, std::int32_t action);
    std::set<std::int32_t> breakpoints(int fileId) const;

    // Whether the monitor asks for variables, by the key in its debug settings file (none:
    // never).
    void askForVariablesIn(const std::string& settingsFile) { variables_.emplace(settingsFile); }
    bool variablesWanted() { return variables_ && variables_->enabled(); }

private:
    int port_;
    std::map<std::string, std::string> params_;
    PageCompiler compiler_;
    std::string rootDir_;
    int nextFileId_;
    int depth_ = 0;
    StopSignal& stop_;
    std::map<int, PagePosition> positions_;
    mutable std::mutex breakpointMutex_; // read by other threads while the page runs
    std::map<int, std::set<std::int32_t>> breakpoints_;
    std::optional<tracehook::VariablesSwitch> variables_;
};

} // namespace pagerunner
