#pragma once

#include "syntax/lexer.h"

namespace tracewin::syntax {

// Java source: keywords, string, text-block and character literals, line and block
// comments, numbers and annotations. Inside a JSP scripting element every token stops
// before "%>", which ends the element wherever it stands, as the page compiler reads it.
class JavaLexer final : public Lexer {
public:
    // The states this lexer uses (in the low bits of its State).
    enum Mode : State { Code = 0, BlockComment, TextBlock, LineComment, InString, InChar };
    static constexpr State MODE_MASK = 0x7;

    explicit JavaLexer(bool insideJsp = false) : insideJsp_(insideJsp) {}

    Token next(CharsView line, std::size_t pos, State& state) const override;
    State atLineEnd(State state) const override;

private:
    // Whether the scan must stop at i: the end of the line, of a run, or of a JSP element.
    bool stopsAt(CharsView line, std::size_t i, std::size_t runStart) const;
    // Scans a quoted literal from pos (after any opening quote) to its closing quote.
    Token quoted(CharsView line, std::size_t begin, std::size_t pos, char16_t quote, Mode open,
                 State& state) const;
    Token delimitedComment(CharsView line, std::size_t begin, std::size_t pos, State& state) const;
    Token textBlock(CharsView line, std::size_t begin, std::size_t pos, State& state) const;

    bool insideJsp_;
};

} // namespace tracewin::syntax
