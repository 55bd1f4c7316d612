#pragma once

#include "syntax/lexer.h"

namespace tracewin::syntax {

// HTML: tags, attributes and their values, comments, declarations and character entities;
// the text of script and style elements is left plain. As the template text of a JSP page,
// every token stops before "<%", "${" and "#{", where the page's own elements begin, even
// inside a tag, a value or a comment; the state then holds where the HTML went on.
class HtmlLexer final : public Lexer {
public:
    // The states this lexer uses: a mode in bits 0-3 and, in bits 4-5, whether the tag being
    // read (or the raw text being skipped) is a script or a style element. Eight bits in all.
    enum Mode : State {
        Content = 0,
        Comment,
        InTag,       // between attributes
        AfterName,   // after an attribute's name
        BeforeValue, // after "="
        DoubleQuoted,
        SingleQuoted,
        Declaration, // <!DOCTYPE ...>, <?xml ...?>
        RawText,     // the text of a script or style element
    };
    static constexpr State MODE_MASK = 0xf;
    static constexpr State RAW_SHIFT = 4;
    static constexpr State STATE_MASK = 0xff;

    explicit HtmlLexer(bool embedsJsp = false) : embedsJsp_(embedsJsp) {}

    Token next(CharsView line, std::size_t pos, State& state) const override;
    // Text between tags is skipped to the next "<", and a tag of a name alone taken in one
    // step: neither leaves any state but Content.
    std::size_t advance(CharsView line, std::size_t pos, State& state,
                        std::size_t limit) const override;

    // Whether a JSP element or an expression-language expression begins at pos.
    static bool jspStartsAt(CharsView line, std::size_t pos);

private:
    bool stopsAt(CharsView line, std::size_t i, std::size_t runStart) const;
    // Where the tag at pos ends when it is a start or end tag of a name alone, which leaves
    // the state at Content; 0 for any other tag. Only outside JSP pages: their elements
    // may start inside a tag's name.
    static std::size_t plainTagEnd(CharsView line, std::size_t pos);
    Token content(CharsView line, std::size_t pos, State& state) const;
    Token inTag(CharsView line, std::size_t pos, State& state) const;
    // Scans from pos to the end marker; the token takes it in when found.
    Token until(CharsView line, std::size_t begin, std::size_t pos, std::u16string_view end,
                TokenKind kind, State open, State closed, State& state) const;

    bool embedsJsp_;
};

} // namespace tracewin::syntax
