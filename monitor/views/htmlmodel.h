#pragma once

#include "core/htmltagposition.h"
#include "views/sourcemodels.h"

#include <functional>

namespace tracewin {

// The HTML the page has produced so far. Text is appended as it arrives; a run of line
// breaks opens exactly one new line, blanks-only pieces are dropped.
class HtmlModel : public NamedModel {
public:
    using NamedModel::NamedModel;

    // Called for every complete tag ("<" to ">") that addText writes, with its text and
    // its 1-based inclusive span; a tag may be split over several calls of addText. The
    // lines may not hold the tag yet when it is called: a line takes its text in one
    // append, not one per tag.
    using TagListener = std::function<void(QStringView tagText, const HtmlTagPosition& position)>;

    // Appends produced HTML. Returns the span of the last "<" ... ">" written by this
    // call (or from the last "<" to the end of the text when it is not closed).
    HtmlTagPosition addText(const QString& text, const TagListener& onTag = {});

    // The last character's position: (0, 0) with no lines, column 0 on an empty last line.
    FilePosition endPosition() const { return FilePosition(lastLineLength(), lineCount()); }

    // Starts over with no lines (another page is shown).
    void clear();

protected:
    std::string modelName() const override { return "HtmlModel"; }

private:
    int lastLineLength() const { return lines_.empty() ? 0 : lines_.back()->length(); }

    bool lastTokenIsLineFeed = false;
    // The tag being written, which may continue in the next call: the part of its text
    // that is no longer in the input.
    bool inTag_ = false;
    QString tagText_;
    HtmlTagPosition tagStart_;
};

} // namespace tracewin
