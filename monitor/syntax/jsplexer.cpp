#include "syntax/jsplexer.h"

#include "syntax/chars.h"

#include <algorithm>

namespace tracewin::syntax {

using namespace chars;

namespace {

// The state's fields: the mode of the page, a sub-state of a directive or an expression,
// the HTML state of the template around the element and the Java state inside it.
struct Fields {
    State mode, sub, html, java;

    static Fields of(State s) {
        return {s & 0xf, (s >> 4) & 0xf, (s >> 8) & HtmlLexer::STATE_MASK, (s >> 16) & 0xff};
    }
    State pack() const { return mode | (sub << 4) | (html << 8) | (java << 16); }
};

enum DirectiveSub : State { ExpectName = 0, Attributes, DirectiveDouble, DirectiveSingle };
enum ElSub : State { ElCode = 0, ElDouble, ElSingle };

bool endsElementAt(CharsView line, std::size_t i) {
    return at(line, i, u"%>");
}

} // namespace

Token JspLexer::next(CharsView line, std::size_t pos, State& state) const {
    Fields f = Fields::of(state);
    Token token;
    switch (f.mode) {
    case JspComment: {
        std::size_t i = pos;
        while (i < line.size() && i - pos < MAX_RUN && !at(line, i, u"--%>"))
            ++i;
        if (at(line, i, u"--%>")) {
            i += 4;
            f.mode = Template;
        }
        token = {pos, std::max(i, pos + 1), TokenKind::JspComment};
        break;
    }
    case Directive:
        token = directive(line, pos, state);
        return token;
    case El:
        token = el(line, pos, state);
        return token;
    case Scripting:
        if (endsElementAt(line, pos)) {
            f.mode = Template;
            f.java = JavaLexer::Code;
            token = {pos, pos + 2, TokenKind::JspDelimiter};
        } else {
            token = java_.next(line, pos, f.java);
            if (token.kind == TokenKind::Text)
                token.kind = TokenKind::Script;
        }
        break;
    default:
        if (HtmlLexer::jspStartsAt(line, pos))
            return element(line, pos, state);
        token = html_.next(line, pos, f.html);
        // A tag of a prefix is one of the page's actions or of a tag library.
        if (token.kind == TokenKind::Tag && line[pos] == u'<' &&
            line.substr(pos, token.end - pos).find(u':') != CharsView::npos)
            token.kind = TokenKind::CustomTag;
        break;
    }
    state = f.pack();
    return token;
}

Token JspLexer::element(CharsView line, std::size_t pos, State& state) const {
    Fields f = Fields::of(state);
    f.sub = 0;
    Token token{pos, pos + 2, TokenKind::JspDelimiter};
    if (line[pos] != u'<') {
        f.mode = El;
    } else if (at(line, pos, u"<%--")) {
        f.mode = JspComment;
        state = f.pack();
        return next(line, pos, state);
    } else if (at(line, pos, u"<%@")) {
        f.mode = Directive;
        token.end = pos + 3;
    } else {
        f.mode = Scripting;
        f.java = JavaLexer::Code;
        if (at(line, pos, u"<%=") || at(line, pos, u"<%!"))
            token.end = pos + 3;
    }
    state = f.pack();
    return token;
}

Token JspLexer::directive(CharsView line, std::size_t pos, State& state) const {
    Fields f = Fields::of(state);
    const std::size_t n = line.size();
    auto stops = [&](std::size_t i) {
        return i >= n || i - pos >= MAX_RUN || endsElementAt(line, i);
    };
    Token token{pos, pos + 1, TokenKind::Text};
    if (f.sub == DirectiveDouble || f.sub == DirectiveSingle) {
        const char16_t quote = f.sub == DirectiveDouble ? u'"' : u'\'';
        std::size_t i = pos;
        while (!stops(i) && line[i] != quote)
            ++i;
        if (i < n && line[i] == quote) {
            ++i;
            f.sub = Attributes;
        }
        token = {pos, std::max(i, pos + 1), TokenKind::AttributeValue};
    } else if (endsElementAt(line, pos)) {
        f = {Template, 0, f.html, JavaLexer::Code};
        token = {pos, pos + 2, TokenKind::JspDelimiter};
    } else if (isSpace(line[pos])) {
        std::size_t i = pos + 1;
        while (!stops(i) && isSpace(line[i]))
            ++i;
        token = {pos, i, TokenKind::Text};
    } else if (line[pos] == u'"' || line[pos] == u'\'') {
        f.sub = line[pos] == u'"' ? DirectiveDouble : DirectiveSingle;
        state = f.pack();
        Token rest = pos + 1 < n ? directive(line, pos + 1, state) : Token{pos + 1, pos + 1, {}};
        return {pos, rest.end, TokenKind::AttributeValue};
    } else if (isIdentStart(line[pos])) {
        std::size_t i = pos + 1;
        while (!stops(i) && (isIdentPart(line[i]) || line[i] == u'-' || line[i] == u'.'))
            ++i;
        token = {pos, i, f.sub == ExpectName ? TokenKind::Directive : TokenKind::Attribute};
        f.sub = Attributes;
    }
    state = f.pack();
    return token;
}

Token JspLexer::el(CharsView line, std::size_t pos, State& state) const {
    Fields f = Fields::of(state);
    const std::size_t n = line.size();
    auto stops = [&](std::size_t i) {
        return i >= n || i - pos >= MAX_RUN;
    };
    Token token;
    if (f.sub == ElDouble || f.sub == ElSingle) {
        const char16_t quote = f.sub == ElDouble ? u'"' : u'\'';
        std::size_t i = pos;
        while (!stops(i) && line[i] != quote)
            i += line[i] == u'\\' && i + 1 < n ? 2 : 1;
        if (i < n && line[i] == quote) {
            ++i;
            f.sub = ElCode;
        }
        token = {pos, std::min(std::max(i, pos + 1), n), TokenKind::String};
    } else if (line[pos] == u'}') {
        f.mode = Template;
        f.sub = 0;
        token = {pos, pos + 1, TokenKind::JspDelimiter};
    } else if (line[pos] == u'"' || line[pos] == u'\'') {
        f.sub = line[pos] == u'"' ? ElDouble : ElSingle;
        state = f.pack();
        Token rest = pos + 1 < n ? el(line, pos + 1, state) : Token{pos + 1, pos + 1, {}};
        return {pos, rest.end, TokenKind::String};
    } else {
        std::size_t i = pos + 1;
        while (!stops(i) && line[i] != u'}' && line[i] != u'"' && line[i] != u'\'')
            ++i;
        token = {pos, i, TokenKind::El};
    }
    state = f.pack();
    return token;
}

State JspLexer::atLineEnd(State state) const {
    Fields f = Fields::of(state);
    f.java = java_.atLineEnd(f.java);
    return f.pack();
}

} // namespace tracewin::syntax
