#pragma once

#include "syntax/incrementallexer.h"
#include "views/linelist.h"

#include <QColor>
#include <memory>
#include <vector>

namespace tracewin {

// The language a source text component colours its text in.
enum class SourceLanguage { Plain, Jsp, Java, Html };

// The colours of a text's tokens, as a light-theme editor shows them, for the lines of a
// source text component. Lines are lexed when they are painted, from the state kept at their
// start, so that a repaint costs the lines in view and output that grows costs what it adds.
class SyntaxColouring {
public:
    // Columns [begin, end) of a line (1-based) drawn in one colour.
    struct Run {
        int begin;
        int end;
        QColor colour;
    };

    explicit SyntaxColouring(SourceLanguage language);

    // The colour of a kind of token.
    static QColor colourOf(syntax::TokenKind kind);

    // The list changed whole, from a 0-based index, or only grew at its end after `before`
    // lines (the last of those may have grown too).
    void reset() { lexer_.reset(); }
    void linesChangedFrom(std::size_t index) { lexer_.linesChangedFrom(index); }
    void linesAppended(std::size_t before) { lexer_.linesAppended(before); }

    // The runs of a 1-based line that meet the columns [first, last], clipped to them.
    std::vector<Run> runs(const LineList& lines, int line, int first, int last);

private:
    syntax::IncrementalLexer lexer_;
};

} // namespace tracewin
