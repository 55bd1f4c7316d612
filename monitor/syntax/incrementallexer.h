#pragma once

#include "syntax/lexer.h"

#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace tracewin::syntax {

// Lexes a text that is shown a part at a time and may grow at its end, so that colouring
// costs what is shown and what changed, never the whole text again. It keeps the state at
// the start of every line lexed so far, valid up to the first line that changed; along a
// long line it keeps the state at a token's end about every CHECKPOINT_SPACING
// characters, so that the columns in view are lexed from close by, and a line that grew is
// lexed again only from near its old end.
class IncrementalLexer {
public:
    static constexpr std::size_t CHECKPOINT_SPACING = 1024;
    // How far past a token's end a lexer may have looked to end it there.
    static constexpr std::size_t LOOKAHEAD = 64;

    // The text of a line, by 0-based index; it must stay valid until the next call.
    using LineText = std::function<CharsView(std::size_t)>;

    explicit IncrementalLexer(std::unique_ptr<const Lexer> lexer);

    // Everything changed.
    void reset();
    // The lines from index on were replaced, removed or added; those before are unchanged.
    void linesChangedFrom(std::size_t index);
    // Lines were only added after the first `before` lines, and the last of those may have
    // grown at its end.
    void linesAppended(std::size_t before);

    // The tokens of line `index` that end after column `from`, up to the first that reaches
    // column `to`: the ones that meet [from, to).
    std::vector<Token> tokens(const LineText& text, std::size_t index, std::size_t from,
                              std::size_t to);
    // The state at the start of line `index` (lexing the lines before it that are not yet).
    State startState(const LineText& text, std::size_t index);
    // How many lines' start states are known.
    std::size_t knownStarts() const { return starts_.size(); }

private:
    struct Checkpoint {
        std::size_t pos;
        State state;
    };
    struct LongLine {
        std::size_t lexedLength = 0;
        std::vector<Checkpoint> points;
    };
    // Lexes line `index` from the best known place at or before `from`, handing each token
    // to `sink` until it returns false; returns the state after the last token lexed. The
    // tokens that end at or before `unwanted` are not handed over.
    template <class Sink>
    State lex(CharsView line, std::size_t index, std::size_t from, std::size_t unwanted,
              Sink&& sink);

    std::unique_ptr<const Lexer> lexer_;
    std::vector<State> starts_{0};
    std::map<std::size_t, LongLine> longLines_;
};

} // namespace tracewin::syntax
