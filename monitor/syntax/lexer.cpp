#include "syntax/lexer.h"

#include <algorithm>

namespace tracewin::syntax {

bool Lexer::takeToken(CharsView line, std::size_t& pos, State& state, std::size_t limit) const {
    State after = state;
    const std::size_t end = std::max(next(line, pos, after).end, pos + 1);
    if (end > limit)
        return false;
    state = after;
    pos = end;
    return true;
}

std::size_t Lexer::advance(CharsView line, std::size_t pos, State& state, std::size_t limit) const {
    while (pos < line.size() && takeToken(line, pos, state, limit)) {
    }
    return pos;
}

std::vector<Token> lexLine(const Lexer& lexer, CharsView line, State& state) {
    std::vector<Token> tokens;
    for (std::size_t pos = 0; pos < line.size();) {
        tokens.push_back(lexer.next(line, pos, state));
        pos = tokens.back().end;
    }
    state = lexer.atLineEnd(state);
    return tokens;
}

} // namespace tracewin::syntax
