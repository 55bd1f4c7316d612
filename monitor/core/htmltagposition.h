#pragma once

#include <string>
#include <vector>

namespace tracewin {

// The span of one tag in the HTML view's text: 1-based lines and columns.
struct HtmlTagPosition {
    int startLine = 0;
    int endLine = 0;
    int startPos = 0;
    int endPos = 0;

    int getStartLine() const { return startLine; }
    int getEndLine() const { return endLine; }
    int getStartPos() const { return startPos; }
    int getEndPos() const { return endPos; }

    friend bool operator==(const HtmlTagPosition&, const HtmlTagPosition&) = default;
};

// One complete tag of the output, "<" to ">", and where it stands.
struct HtmlTag {
    std::string text;
    HtmlTagPosition pos;
};
using HtmlTags = std::vector<HtmlTag>;

} // namespace tracewin
