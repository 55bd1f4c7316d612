#pragma once

#include "syntax/htmllexer.h"
#include "syntax/javalexer.h"

namespace tracewin::syntax {

// A JSP page: its template text as HTML, with the page's own elements on it: directives
// (<%@ %>), scriptlets (<% %>), declarations (<%! %>) and expressions (<%= %>) whose
// insides are Java, JSP comments (<%-- --%>), expression-language expressions (${ }, #{ })
// and tags of a prefix (jsp:include, c:out). An element ends at the first "%>", even
// inside a Java string, as the page compiler reads it ("%\>" does not end it).
class JspLexer final : public Lexer {
public:
    enum Mode : State { Template = 0, JspComment, Directive, Scripting, El };

    Token next(CharsView line, std::size_t pos, State& state) const override;
    State atLineEnd(State state) const override;

private:
    Token directive(CharsView line, std::size_t pos, State& state) const;
    Token el(CharsView line, std::size_t pos, State& state) const;
    Token element(CharsView line, std::size_t pos, State& state) const;

    HtmlLexer html_{true};
    JavaLexer java_{true};
};

} // namespace tracewin::syntax
