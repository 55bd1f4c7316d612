#pragma once

#include <algorithm>
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
    void remove(int line) {
        breakptLst.erase(std::remove(breakptLst.begin(), breakptLst.end(), line), breakptLst.end());
    }
    bool contains(int line) const {
        return std::find(breakptLst.begin(), breakptLst.end(), line) != breakptLst.end();
    }
    const std::vector<int>& lines() const { return breakptLst; }

private:
    std::vector<int> breakptLst;
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
