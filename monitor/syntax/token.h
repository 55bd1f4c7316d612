#pragma once

#include <cstddef>
#include <cstdint>

namespace tracewin::syntax {

// What a piece of a line is, as far as its colour goes.
enum class TokenKind : std::uint8_t {
    Text,           // template text, identifiers, operators, blanks
    Keyword,        // Java keywords and literals (true, false, null)
    String,         // Java string, text block and character literals; EL strings
    Number,         // numeric literals
    Comment,        // Java and HTML comments
    Annotation,     // @Name
    Tag,            // an HTML tag's name and brackets, a declaration (<!DOCTYPE ...>)
    CustomTag,      // a tag of a prefix (jsp:include, c:forEach)
    Attribute,      // an attribute's name
    AttributeValue, // an attribute's value, quotes included
    Entity,         // &amp; &#160;
    JspDelimiter,   // <% <%= <%! <%@ %> ${ #{ }
    JspComment,     // <%-- ... --%>
    Directive,      // the name of a directive (page, include, taglib)
    El,             // an expression-language body
    Script,         // the plain Java of a JSP element (names, operators)
};

// One token: columns [begin, end) of a line, counted in UTF-16 units from 0.
struct Token {
    std::size_t begin = 0;
    std::size_t end = 0;
    TokenKind kind = TokenKind::Text;

    bool operator==(const Token&) const = default;
};

// A lexer's state between two tokens: all a lexer needs to go on from there. 0 is the state
// at the start of a text.
using State = std::uint32_t;

} // namespace tracewin::syntax
