#pragma once

#include "syntax/token.h"

#include <string_view>
#include <vector>

namespace tracewin::syntax {

// A lexer of one language, read a token at a time, so that a caller can stop and go on at
// any token's end: a line is lexed from the state at its start, and the state after its
// last token (through atLineEnd) is the next line's. Lexers keep no state of their own.
class Lexer {
public:
    // Runs of one kind (text, comments, strings) are cut after this many characters, so
    // that the state is known at least this often along a long line.
    static constexpr std::size_t MAX_RUN = 1024;

    virtual ~Lexer() = default;
    // The token that starts at pos (pos < line.size()); state is the state before it and
    // becomes the state after it. The token is never empty.
    virtual Token next(std::u16string_view line, std::size_t pos, State& state) const = 0;
    // The state that carries over the end of a line (a string literal does not).
    virtual State atLineEnd(State state) const { return state; }
    // The state after the last token of the line from pos on, as next() would leave it
    // token by token; a lexer that knows which text cannot change its state skips it.
    virtual State stateAfter(std::u16string_view line, std::size_t pos, State state) const;
};

// The tokens of a whole line; state goes in as the line's start state and comes out as the
// next line's.
std::vector<Token> lexLine(const Lexer& lexer, std::u16string_view line, State& state);

} // namespace tracewin::syntax
