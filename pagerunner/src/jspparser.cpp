#include "pagerunner/jspparser.h"

#include <cctype>
#include <string_view>

namespace pagerunner {
namespace {

constexpr std::string_view includeTag = "<jsp:include";
constexpr std::string_view includeEndTag = "</jsp:include>";

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// Reads name="value" and name='value' pairs; false when a value is not closed.
bool parseAttributes(std::string_view text, std::map<std::string, std::string>& out) {
    std::size_t i = 0;
    while (true) {
        while (i < text.size() && isSpace(text[i]))
            ++i;
        if (i >= text.size())
            return true;
        std::size_t nameBegin = i;
        while (i < text.size() && !isSpace(text[i]) && text[i] != '=')
            ++i;
        std::string name(text.substr(nameBegin, i - nameBegin));
        while (i < text.size() && isSpace(text[i]))
            ++i;
        if (i >= text.size() || text[i] != '=') {
            out[name] = "";
            continue;
        }
        ++i;
        while (i < text.size() && isSpace(text[i]))
            ++i;
        if (i >= text.size() || (text[i] != '"' && text[i] != '\''))
            return false;
        const char quote = text[i++];
        std::size_t close = text.find(quote, i);
        if (close == std::string_view::npos)
            return false;
        out[name] = std::string(text.substr(i, close - i));
        i = close + 1;
    }
}

// The end of a tag that starts at from: the offset of its '>' outside quotes, or npos.
std::size_t findTagEnd(std::string_view text, std::size_t from) {
    char quote = 0;
    for (std::size_t i = from; i < text.size(); ++i) {
        const char c = text[i];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            return i;
        }
    }
    return std::string_view::npos;
}

class Scanner {
public:
    explicit Scanner(const JspText& text) : text_(text), src_(text.text()) {}

    JspParser::Result run() {
        std::size_t pos = 0;
        std::size_t templateBegin = 0;
        while (pos < src_.size()) {
            const std::size_t lt = src_.find('<', pos);
            if (lt == std::string_view::npos)
                break;
            std::optional<JspElement> element;
            bool recognised = true;
            if (startsAt(lt, "<%--"))
                element = delimited(lt, JspElement::Kind::Comment, 4, "--%>",
                                    "Unterminated <%-- comment, no closing --%>");
            else if (startsAt(lt, "<%@"))
                element = directive(lt);
            else if (startsAt(lt, "<%!"))
                element = delimited(lt, JspElement::Kind::Declaration, 3, "%>",
                                    "Unterminated <%! declaration, no closing %>");
            else if (startsAt(lt, "<%="))
                element = expression(lt);
            else if (startsAt(lt, "<%"))
                element = delimited(lt, JspElement::Kind::Scriptlet, 2, "%>",
                                    "Unterminated <% scriptlet, no closing %>");
            else if (isIncludeTag(lt))
                element = include(lt);
            else
                recognised = false;
            if (!recognised) {
                pos = lt + 1;
                continue;
            }
            if (!element)
                break; // result_.error is set
            addTemplate(templateBegin, lt);
            pos = templateBegin = element->end;
            result_.elements.push_back(std::move(*element));
        }
        if (!result_.error)
            addTemplate(templateBegin, src_.size());
        return std::move(result_);
    }

private:
    bool startsAt(std::size_t at, std::string_view s) const {
        return src_.substr(at, s.size()) == s;
    }

    bool isIncludeTag(std::size_t at) const {
        if (!startsAt(at, includeTag))
            return false;
        const std::size_t after = at + includeTag.size();
        return after < src_.size() &&
               (isSpace(src_[after]) || src_[after] == '/' || src_[after] == '>');
    }

    void addTemplate(std::size_t begin, std::size_t end) {
        if (begin >= end)
            return;
        JspElement t;
        t.kind = JspElement::Kind::Template;
        t.begin = t.bodyBegin = begin;
        t.end = t.bodyEnd = end;
        result_.elements.push_back(std::move(t));
    }

    std::optional<JspElement> fail(std::size_t at, std::string message) {
        result_.error = JspSyntaxError{text_.positionOf(at), std::move(message)};
        return std::nullopt;
    }

    std::optional<JspElement> delimited(std::size_t at, JspElement::Kind kind, std::size_t open,
                                        std::string_view close, const char* unterminated) {
        const std::size_t closeAt = src_.find(close, at + open);
        if (closeAt == std::string_view::npos)
            return fail(at, unterminated);
        JspElement e;
        e.kind = kind;
        e.begin = at;
        e.bodyBegin = at + open;
        e.bodyEnd = closeAt;
        e.end = closeAt + close.size();
        return e;
    }

    std::optional<JspElement> expression(std::size_t at) {
        auto e = delimited(at, JspElement::Kind::Expression, 3, "%>",
                           "Unterminated <%= expression, no closing %>");
        if (!e)
            return e;
        std::string_view body = src_.substr(e->bodyBegin, e->bodyEnd - e->bodyBegin);
        if (body.find_first_not_of(" \t\r\n\f") == std::string_view::npos)
            return fail(at, "Empty expression in <%= %>");
        return e;
    }

    std::optional<JspElement> directive(std::size_t at) {
        auto e = delimited(at, JspElement::Kind::Directive, 3, "%>",
                           "Unterminated <%@ directive, no closing %>");
        if (!e)
            return e;
        std::string_view body = src_.substr(e->bodyBegin, e->bodyEnd - e->bodyBegin);
        std::size_t i = 0;
        while (i < body.size() && isSpace(body[i]))
            ++i;
        std::size_t nameBegin = i;
        while (i < body.size() && !isSpace(body[i]))
            ++i;
        e->name = std::string(body.substr(nameBegin, i - nameBegin));
        if (e->name.empty())
            return fail(at, "Directive without a name in <%@ %>");
        if (!parseAttributes(body.substr(i), e->attributes))
            return fail(at, "Unclosed attribute value in the " + e->name + " directive");
        if (e->name == "include" && e->attributes["file"].empty())
            return fail(at, "The include directive needs a file attribute");
        return e;
    }

    std::optional<JspElement> include(std::size_t at) {
        const std::size_t gt = findTagEnd(src_, at + includeTag.size());
        if (gt == std::string_view::npos)
            return fail(at, "Unterminated <jsp:include> tag, no closing >");
        const bool selfClosing = src_[gt - 1] == '/';
        JspElement e;
        e.kind = JspElement::Kind::Include;
        e.begin = at;
        e.bodyBegin = at + includeTag.size();
        e.bodyEnd = selfClosing ? gt - 1 : gt;
        e.end = gt + 1;
        if (!parseAttributes(src_.substr(e.bodyBegin, e.bodyEnd - e.bodyBegin), e.attributes))
            return fail(at, "Unclosed attribute value in <jsp:include>");
        if (e.attributes["page"].empty())
            return fail(at, "<jsp:include> needs a page attribute");
        if (!selfClosing) {
            const std::size_t endTag = src_.find(includeEndTag, e.end);
            if (endTag == std::string_view::npos)
                return fail(at, "<jsp:include> is not closed by </jsp:include>");
            e.end = endTag + includeEndTag.size();
        }
        return e;
    }

    const JspText& text_;
    std::string_view src_;
    JspParser::Result result_;
};

} // namespace

JspParser::Result JspParser::parse(const JspText& text) {
    return Scanner(text).run();
}

} // namespace pagerunner
