#include "syntax/lexer.h"

#include <algorithm>

namespace tracewin::syntax {

State Lexer::stateAfter(std::u16string_view line, std::size_t pos, State state) const {
    while (pos < line.size())
        pos = std::max(next(line, pos, state).end, pos + 1);
    return state;
}

std::vector<Token> lexLine(const Lexer& lexer, std::u16string_view line, State& state) {
    std::vector<Token> tokens;
    for (std::size_t pos = 0; pos < line.size();) {
        tokens.push_back(lexer.next(line, pos, state));
        pos = tokens.back().end;
    }
    state = lexer.atLineEnd(state);
    return tokens;
}

} // namespace tracewin::syntax
