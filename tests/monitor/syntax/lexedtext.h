#pragma once

#include "syntax/lexer.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <vector>

namespace tracewin::syntax {
// Names in failure messages.
inline void PrintTo(TokenKind kind, std::ostream* os) {
    static const char* const kNames[] = {"Text",       "Keyword",        "String", "Number",
                                         "Comment",    "Annotation",     "Tag",    "CustomTag",
                                         "Attribute",  "AttributeValue", "Entity", "JspDelimiter",
                                         "JspComment", "Directive",      "El",     "Script"};
    *os << kNames[static_cast<int>(kind)];
}
} // namespace tracewin::syntax

namespace syntaxtest {

using tracewin::syntax::Lexer;
using tracewin::syntax::State;
using tracewin::syntax::Token;
using tracewin::syntax::TokenKind;

// Lines lexed one after another, asked by the text they hold. Each line is lexed as UTF-16
// and, where it fits, as Latin-1 too, as a text store may keep it: both must give the same
// tokens and states.
struct LexedText {
    LexedText(const Lexer& lexer, std::vector<std::u16string> texts) : lines(std::move(texts)) {
        State state = 0;
        State narrowState = 0;
        for (const std::u16string& line : lines) {
            tokens.push_back(tracewin::syntax::lexLine(lexer, line, state));
            states.push_back(state);
            std::string narrow;
            for (const char16_t c : line)
                narrow.push_back(static_cast<char>(c));
            if (std::all_of(line.begin(), line.end(), [](char16_t c) { return c < 0x100; })) {
                EXPECT_EQ(tracewin::syntax::lexLine(lexer, tracewin::CharsView::latin1(narrow),
                                                    narrowState),
                          tokens.back())
                    << "line " << tokens.size() << " lexed as Latin-1";
                EXPECT_EQ(narrowState, state);
            }
            narrowState = state;
        }
    }

    // The kind of the token holding the first character of the n-th occurrence of needle
    // on line `line` (0-based); every character of the needle must be of that kind.
    TokenKind at(std::size_t line, std::u16string_view needle, int n = 0) const {
        std::size_t col = lines[line].find(needle);
        while (n-- > 0 && col != std::u16string::npos)
            col = lines[line].find(needle, col + 1);
        EXPECT_NE(col, std::u16string::npos) << "not on the line";
        if (col == std::u16string::npos)
            return TokenKind::Text;
        const TokenKind kind = kindAt(line, col);
        for (std::size_t i = 1; i < needle.size(); ++i)
            EXPECT_EQ(kindAt(line, col + i), kind) << "column " << col + i;
        return kind;
    }
    TokenKind at(std::u16string_view needle, int n = 0) const { return at(0, needle, n); }

    TokenKind kindAt(std::size_t line, std::size_t col) const {
        for (const Token& t : tokens[line])
            if (t.begin <= col && col < t.end)
                return t.kind;
        ADD_FAILURE() << "no token at column " << col;
        return TokenKind::Text;
    }
    // The tokens tile the line: no gaps, no overlaps, none empty.
    bool tiles() const {
        for (std::size_t l = 0; l < lines.size(); ++l) {
            std::size_t pos = 0;
            for (const Token& t : tokens[l]) {
                if (t.begin != pos || t.end <= t.begin)
                    return false;
                pos = t.end;
            }
            if (pos != lines[l].size())
                return false;
        }
        return true;
    }

    std::vector<std::u16string> lines;
    std::vector<std::vector<Token>> tokens;
    std::vector<State> states;
};

} // namespace syntaxtest
