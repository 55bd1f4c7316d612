#pragma once

#include "syntax/token.h"
#include "text/charsview.h"

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
    virtual Token next(CharsView line, std::size_t pos, State& state) const = 0;
    // The state that carries over the end of a line (a string literal does not).
    virtual State atLineEnd(State state) const { return state; }
    // Lexes from pos, token by token as next() does, while the tokens end at or before
    // `limit`: returns the end of the last token taken (pos when none is) and leaves `state`
    // as next() leaves it there. A lexer that knows which text cannot change its state may
    // take it in one step, and may stop before the limit where such a step would pass it:
    // the caller goes on from there. At the line's end as the limit, it reaches the end.
    virtual std::size_t advance(CharsView line, std::size_t pos, State& state,
                                std::size_t limit) const;
    // The state after the last token of the line from pos on.
    State stateAfter(CharsView line, std::size_t pos, State state) const {
        advance(line, pos, state, line.size());
        return state;
    }

protected:
    // Takes the token at pos when it ends at or before `limit`: moves pos past it and
    // state to the state after it. False, and nothing moved, when it reaches further.
    bool takeToken(CharsView line, std::size_t& pos, State& state, std::size_t limit) const;
};

// The tokens of a whole line; state goes in as the line's start state and comes out as the
// next line's.
std::vector<Token> lexLine(const Lexer& lexer, CharsView line, State& state);

} // namespace tracewin::syntax
