#include "pagerunner/jsptext.h"

#include <algorithm>

namespace pagerunner {

JspText::JspText(std::string text) : text_(std::move(text)) {
    std::size_t begin = 0;
    const std::size_t size = text_.size();
    for (std::size_t i = 0; i < size; ++i) {
        const char c = text_[i];
        if (c != '\n' && c != '\r')
            continue;
        std::size_t next = i + 1;
        if (c == '\r' && next < size && text_[next] == '\n')
            ++next;
        lines_.push_back({begin, i, next});
        begin = next;
        i = next - 1;
    }
    // The text after the last terminator is a line of its own when it is not empty, and
    // so is an empty text: every page has at least one line.
    if (begin < size || lines_.empty())
        lines_.push_back({begin, size, size});
}

std::string_view JspText::content(std::size_t lineIndex) const {
    const Line& l = lines_.at(lineIndex);
    return std::string_view(text_).substr(l.begin, l.end - l.begin);
}

std::size_t JspText::lineIndexAt(std::size_t offset) const {
    auto it = std::upper_bound(lines_.begin(), lines_.end(), offset,
                               [](std::size_t off, const Line& l) { return off < l.next; });
    if (it == lines_.end())
        return lines_.size() - 1;
    return static_cast<std::size_t>(it - lines_.begin());
}

JspPosition JspText::positionOf(std::size_t offset) const {
    offset = std::min(offset, text_.size());
    std::size_t lineIndex = lineIndexAt(offset);
    const Line& l = lines_[lineIndex];
    if (offset > l.end && offset < l.next) // inside a terminator: count it as the line end
        offset = l.end;
    std::size_t from = l.begin;
    int column = 1;
    if (cachedLine_ == lineIndex && cachedOffset_ <= offset && cachedOffset_ >= l.begin) {
        from = cachedOffset_;
        column = cachedColumn_;
    }
    column += columnsOf(std::string_view(text_).substr(from, offset - from));
    cachedLine_ = lineIndex;
    cachedOffset_ = offset;
    cachedColumn_ = column;
    return {static_cast<int>(lineIndex) + 1, column};
}

int JspText::columnsOf(unsigned char byte) {
    if (byte == '\t')
        return 2;
    if ((byte & 0xC0) == 0x80) // continuation byte of a multi-byte character
        return 0;
    if (byte >= 0xF0) // four-byte character: a UTF-16 surrogate pair
        return 2;
    return 1;
}

int JspText::columnsOf(std::string_view text) {
    int columns = 0;
    for (char c : text)
        columns += columnsOf(static_cast<unsigned char>(c));
    return columns;
}

std::size_t JspText::offsetOfColumn(std::string_view lineText, int column) {
    int at = 1;
    std::size_t i = 0;
    while (i < lineText.size() && at < column) {
        at += columnsOf(static_cast<unsigned char>(lineText[i]));
        ++i;
        while (i < lineText.size() && columnsOf(static_cast<unsigned char>(lineText[i])) == 0)
            ++i;
    }
    return i;
}

} // namespace pagerunner
