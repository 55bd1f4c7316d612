#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace pagerunner {

// A 1-based line and column in a JSP file, as the monitor counts them: one column per
// UTF-16 unit of the text (a character outside the Basic Multilingual Plane takes two),
// and a tab takes two columns because the monitor's views show each tab as two blanks.
struct JspPosition {
    int line = 1;
    int column = 1;

    friend bool operator==(const JspPosition&, const JspPosition&) = default;
};

// The text of a JSP page cut into lines, with byte offsets turned into positions. A line
// ends at LF, CR LF or a lone CR, as the monitor reads it.
class JspText {
public:
    struct Line {
        std::size_t begin = 0; // offset of the first byte
        std::size_t end = 0;   // offset just past the content (before the terminator)
        std::size_t next = 0;  // offset of the next line (after the terminator)
    };

    explicit JspText(std::string text);

    const std::string& text() const { return text_; }
    const std::vector<Line>& lines() const { return lines_; }
    std::string_view content(std::size_t lineIndex) const;

    // Index of the line holding the byte at offset (the last line for the end of text).
    std::size_t lineIndexAt(std::size_t offset) const;
    // The position of the byte at offset. Positions asked for in increasing order cost
    // time linear in the text overall, however long its lines are.
    JspPosition positionOf(std::size_t offset) const;

    // Columns that one byte of UTF-8 text adds.
    static int columnsOf(unsigned char byte);
    // Columns of a run of text on one line.
    static int columnsOf(std::string_view text);
    // The byte offset within line text at which a 1-based column starts; the line's
    // length when the column lies past its end.
    static std::size_t offsetOfColumn(std::string_view lineText, int column);

private:
    std::string text_;
    std::vector<Line> lines_;
    // Cache of the last position asked for, so that forward scans stay linear.
    mutable std::size_t cachedOffset_ = 0;
    mutable std::size_t cachedLine_ = 0;
    mutable int cachedColumn_ = 1;
};

} // namespace pagerunner
