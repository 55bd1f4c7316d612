#pragma once

#include "core/fileposition.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace tracehook {
class JspSourceInfo;
}

namespace tracewin {

// Where a piece of produced HTML came from: the JSP span and the Java line that were
// current when the page runtime sent it. Positions are as the runtime names them (1-based
// lines; JSP columns 1-based, the end exclusive).
struct OutputOrigin {
    std::string fileId;
    int jspStartLine = 0;
    int jspStartPos = 0;
    int jspEndLine = 0;
    int jspEndPos = 0;
    int javaLine = 0;

    friend auto operator<=>(const OutputOrigin&, const OutputOrigin&) = default;

    // The position a record names as the one about to run; none for a record without a
    // file or for the end of a page.
    static std::optional<OutputOrigin> of(const tracehook::JspSourceInfo& record);
};

// A stretch of the HTML view's text, inclusive at both ends.
struct TextSpan {
    FilePosition start;
    FilePosition end;
    friend bool operator==(const TextSpan&, const TextSpan&) = default;
};
using TextSpans = std::vector<TextSpan>;

// The origin of every piece of one file's HTML output, in the order the pieces arrived.
// It costs memory by the number of pieces, not by their bytes, and answers both ways:
// which origin wrote a character, and which stretches an origin wrote. A piece that goes
// on where the last one ended, from the same origin, widens that one instead.
class OutputOrigins {
public:
    // A piece of output written at `span` (after every piece added before it); when it
    // starts right after the last piece's end and has its origin, that piece grows to it.
    void add(const TextSpan& span, const OutputOrigin& origin);
    // The origin of the piece holding `position`, if a piece holds it.
    const OutputOrigin* originAt(const FilePosition& position) const;
    // The stretches the origin wrote, in order; the list grows as the origin writes more.
    // Null when it has written nothing.
    std::shared_ptr<const TextSpans> spansOf(const OutputOrigin& origin) const;
    std::size_t pieceCount() const { return pieces_.size(); }
    void clear();

private:
    struct Piece {
        TextSpan span;
        std::uint32_t origin; // index into origins_
    };
    std::vector<Piece> pieces_;
    std::vector<OutputOrigin> origins_;
    std::map<OutputOrigin, std::uint32_t> indexOf_;
    std::vector<std::shared_ptr<TextSpans>> spansOf_; // by origin index
};

} // namespace tracewin
