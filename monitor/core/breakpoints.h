#pragma once

#include "core/breakpointcondition.h"

#include <algorithm>
#include <map>
#include <optional>
#include <vector>

namespace tracewin {

// The breakpoint lines of one display: no duplicates, in the order they were set.
class BreakpointLst {
public:
    void add(int line) {
        if (!contains(line))
            breakptLst.push_back(line);
    }
    // A breakpoint goes with its condition.
    void remove(int line) {
        breakptLst.erase(std::remove(breakptLst.begin(), breakptLst.end(), line), breakptLst.end());
        conditions_.erase(line);
    }
    bool contains(int line) const {
        return std::find(breakptLst.begin(), breakptLst.end(), line) != breakptLst.end();
    }
    const std::vector<int>& lines() const { return breakptLst; }

    // The condition of the breakpoint on a line; a line without a breakpoint takes none.
    void setCondition(int line, std::optional<BreakpointCondition> condition) {
        if (condition && contains(line))
            conditions_.insert_or_assign(line, std::move(*condition));
        else
            conditions_.erase(line);
    }
    const BreakpointCondition* condition(int line) const {
        const auto it = conditions_.find(line);
        return it == conditions_.end() ? nullptr : &it->second;
    }
    bool hasConditions() const { return !conditions_.empty(); }

private:
    std::vector<int> breakptLst;
    std::map<int, BreakpointCondition> conditions_;
};

// One breakpoint change on its way to the page runtime. The file id is filled in by
// whoever knows the current page.
class BreakpointInfo {
public:
    BreakpointInfo(int lineNum, bool isSetBreakpt)
        : lineNum_(lineNum), isSetBreakpt_(isSetBreakpt) {}
    int getLineNum() const { return lineNum_; }
    bool getIsSetBreakpt() const { return isSetBreakpt_; }
    std::optional<int> getFileIdInt() const { return fileIdInt_; }
    void setFileIdInt(std::optional<int> id) { fileIdInt_ = id; }

private:
    std::optional<int> fileIdInt_;
    int lineNum_;
    bool isSetBreakpt_;
};

} // namespace tracewin
