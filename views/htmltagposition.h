#pragma once

namespace tracewin {

// The span of one tag in the HTML view's text: 1-based lines and columns.
struct HtmlTagPosition {
    int startLine = 0;
    int endLine = 0;
    int startCol = 0;
    int endCol = 0;

    int getStartLine() const { return startLine; }
    int getEndLine() const { return endLine; }
    int getStartCol() const { return startCol; }
    int getEndCol() const { return endCol; }

    friend bool operator==(const HtmlTagPosition&, const HtmlTagPosition&) = default;
};

} // namespace tracewin
