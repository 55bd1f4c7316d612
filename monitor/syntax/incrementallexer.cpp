#include "syntax/incrementallexer.h"

#include <algorithm>

namespace tracewin::syntax {

IncrementalLexer::IncrementalLexer(std::unique_ptr<const Lexer> lexer) : lexer_(std::move(lexer)) {}

void IncrementalLexer::reset() {
    starts_.assign(1, 0);
    longLines_.clear();
}

void IncrementalLexer::linesChangedFrom(std::size_t index) {
    starts_.resize(std::clamp<std::size_t>(index + 1, 1, starts_.size()));
    longLines_.erase(longLines_.lower_bound(index), longLines_.end());
}

void IncrementalLexer::linesAppended(std::size_t before) {
    if (before == 0) {
        reset();
        return;
    }
    // The last old line keeps the checkpoints its old text still vouches for.
    starts_.resize(std::min(before, starts_.size()));
    longLines_.erase(longLines_.lower_bound(before), longLines_.end());
}

template <class Sink>
State IncrementalLexer::lex(CharsView line, std::size_t index, std::size_t from,
                            std::size_t unwanted, Sink&& sink) {
    std::size_t pos = 0;
    State state = starts_[index];
    LongLine* longLine = nullptr;
    if (line.size() > CHECKPOINT_SPACING) {
        longLine = &longLines_[index];
        if (longLine->lexedLength != line.size()) {
            // A line that grew keeps the checkpoints whose tokens ended well before its old end.
            const std::size_t valid =
                line.size() > longLine->lexedLength ? longLine->lexedLength : 0;
            std::erase_if(longLine->points,
                          [&](const Checkpoint& c) { return c.pos + LOOKAHEAD > valid; });
            longLine->lexedLength = line.size();
        }
        auto after = std::upper_bound(longLine->points.begin(), longLine->points.end(), from,
                                      [](std::size_t f, const Checkpoint& c) { return f < c.pos; });
        if (after != longLine->points.begin()) {
            pos = std::prev(after)->pos;
            state = std::prev(after)->state;
        }
    }
    while (pos < line.size()) {
        if (pos < unwanted) {
            // Up to there the lexer may take many tokens in one step. Steps stop short of
            // the next checkpoint's place: the token that passes it leaves the checkpoint.
            const std::size_t last =
                longLine && !longLine->points.empty() ? longLine->points.back().pos : 0;
            const std::size_t limit =
                longLine ? std::min(unwanted, last + CHECKPOINT_SPACING - 1) : unwanted;
            if (const std::size_t to = lexer_->advance(line, pos, state, limit); to > pos) {
                pos = to;
                continue;
            }
        }
        const Token token = lexer_->next(line, pos, state);
        pos = std::max(token.end, pos + 1);
        if (longLine) {
            const std::size_t last = longLine->points.empty() ? 0 : longLine->points.back().pos;
            if (pos >= last + CHECKPOINT_SPACING && pos < line.size())
                longLine->points.push_back({pos, state});
        }
        if (!sink(token))
            break;
    }
    return state;
}

State IncrementalLexer::startState(const LineText& text, std::size_t index) {
    while (starts_.size() <= index) {
        const std::size_t line = starts_.size() - 1;
        const CharsView lineText = text(line);
        // A long line is lexed through lex(), which leaves the checkpoints along it.
        const State end = lineText.size() > CHECKPOINT_SPACING
                              ? lex(lineText, line, lineText.size(), lineText.size(),
                                    [](const Token&) { return true; })
                              : lexer_->stateAfter(lineText, 0, starts_[line]);
        starts_.push_back(lexer_->atLineEnd(end));
    }
    return starts_[index];
}

std::vector<Token> IncrementalLexer::tokens(const LineText& text, std::size_t index,
                                            std::size_t from, std::size_t to) {
    startState(text, index);
    std::vector<Token> out;
    // Tokens that end at `from` or before meet no column asked for (when any is).
    lex(text(index), index, from, from < to ? from : 0, [&](const Token& token) {
        if (token.end > from)
            out.push_back(token);
        return token.end < to;
    });
    return out;
}

} // namespace tracewin::syntax
