#include "tomcatrunner/spanfinder.h"

#include "jdwp/utf8.h"

#include <algorithm>
#include <cctype>

namespace tomcatrunner {

using pagerunner::JspElement;
using pagerunner::JspPosition;
using pagerunner::JspSpan;

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) {
        s.remove_prefix(1);
    }
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) {
        s.remove_suffix(1);
    }
    return s;
}

// The argument of a call `name(...)` that makes up the whole statement, without the
// closing ");".
std::optional<std::string_view> callArgument(std::string_view statement, std::string_view name) {
    statement = trim(statement);
    if (!statement.starts_with(name) || !statement.ends_with(");")) {
        return std::nullopt;
    }
    return trim(statement.substr(name.size(), statement.size() - name.size() - 2));
}

} // namespace

SpanFinder::SpanFinder(std::string jspText) : text_(std::move(jspText)) {
    elements_ = pagerunner::JspParser::parse(text_).elements;
}

std::optional<std::string> SpanFinder::unescapeJavaLiteral(std::string_view literal) {
    if (literal.size() < 2 || literal.front() != literal.back() ||
        (literal.front() != '"' && literal.front() != '\'')) {
        return std::nullopt;
    }
    const char quote = literal.front();
    literal = literal.substr(1, literal.size() - 2);
    std::string out;
    unsigned pendingHigh = 0;
    for (std::size_t i = 0; i < literal.size(); ++i) {
        char c = literal[i];
        if (c == quote) {
            return std::nullopt; // a second literal follows: not one literal
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i >= literal.size()) {
            return std::nullopt;
        }
        c = literal[i];
        switch (c) {
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'u': {
            while (i + 1 < literal.size() && literal[i + 1] == 'u') {
                ++i;
            }
            if (i + 4 >= literal.size()) {
                return std::nullopt;
            }
            unsigned code = 0;
            for (int k = 1; k <= 4; ++k) {
                const char h = literal[i + static_cast<std::size_t>(k)];
                if (!std::isxdigit(static_cast<unsigned char>(h))) {
                    return std::nullopt;
                }
                code = code * 16 + static_cast<unsigned>(std::isdigit(static_cast<unsigned char>(h))
                                                             ? h - '0'
                                                             : std::tolower(h) - 'a' + 10);
            }
            i += 4;
            if (code >= 0xD800 && code < 0xDC00) {
                pendingHigh = code;
                continue;
            }
            if (code >= 0xDC00 && code < 0xE000 && pendingHigh != 0) {
                code = 0x10000 + ((pendingHigh - 0xD800) << 10) + (code - 0xDC00);
            }
            pendingHigh = 0;
            jdwp::appendUtf8(out, code);
            break;
        }
        default:
            if (c >= '0' && c <= '7') { // octal escape, up to three digits
                unsigned code = static_cast<unsigned>(c - '0');
                for (int k = 0; k < 2 && i + 1 < literal.size() && literal[i + 1] >= '0' &&
                                literal[i + 1] <= '7';
                     ++k) {
                    code = code * 8 + static_cast<unsigned>(literal[++i] - '0');
                }
                jdwp::appendUtf8(out, code);
            } else {
                out += c; // \" \' \\ and the rest stand for themselves
            }
        }
    }
    return out;
}

JspSpan SpanFinder::wholeLine(int jspLine) const {
    const std::size_t index = static_cast<std::size_t>(jspLine - 1);
    const std::string_view content = text_.content(index);
    // Leading blanks are not part of what the line does.
    std::size_t first = 0;
    while (first < content.size() && (content[first] == ' ' || content[first] == '\t')) {
        ++first;
    }
    if (first == content.size()) {
        first = 0;
    }
    const std::size_t begin = text_.lines()[index].begin;
    return {text_.positionOf(begin + first), text_.positionOf(begin + content.size())};
}

std::optional<JspSpan> SpanFinder::textOnLine(std::string_view text, int jspLine) const {
    const std::size_t index = static_cast<std::size_t>(jspLine - 1);
    const std::string_view content = text_.content(index);
    const std::string_view wanted = text.substr(0, text.find_first_of("\r\n"));
    if (trim(wanted).empty()) {
        return std::nullopt;
    }
    const std::size_t at = content.find(wanted);
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    const std::size_t begin = text_.lines()[index].begin + at;
    return JspSpan{text_.positionOf(begin), text_.positionOf(begin + wanted.size())};
}

std::optional<JspSpan> SpanFinder::expressionOnLine(std::string_view expression,
                                                    int jspLine) const {
    const std::size_t lineBegin = text_.lines()[static_cast<std::size_t>(jspLine - 1)].begin;
    const std::size_t lineNext = text_.lines()[static_cast<std::size_t>(jspLine - 1)].next;
    const JspElement* first = nullptr;
    for (const JspElement& e : elements_) {
        if (e.kind != JspElement::Kind::Expression || e.begin < lineBegin || e.begin >= lineNext) {
            continue;
        }
        const std::string_view body =
            trim(std::string_view(text_.text()).substr(e.bodyBegin, e.bodyEnd - e.bodyBegin));
        if (body == trim(expression)) {
            return JspSpan{text_.positionOf(e.begin), text_.positionOf(e.end)};
        }
        if (first == nullptr) {
            first = &e;
        }
    }
    if (first != nullptr) {
        return JspSpan{text_.positionOf(first->begin), text_.positionOf(first->end)};
    }
    return std::nullopt;
}

std::optional<JspSpan> SpanFinder::elementPartOnLine(int jspLine) const {
    const auto& line = text_.lines()[static_cast<std::size_t>(jspLine - 1)];
    for (const JspElement& e : elements_) {
        if (e.kind == JspElement::Kind::Template || e.end <= line.begin || e.begin >= line.end) {
            continue;
        }
        if (e.kind != JspElement::Kind::Scriptlet && e.kind != JspElement::Kind::Declaration) {
            continue;
        }
        // The element's code on this line, without blanks around it.
        std::size_t from = std::max(e.bodyBegin, line.begin);
        std::size_t to = std::min(e.bodyEnd, line.end);
        while (from < to && std::isspace(static_cast<unsigned char>(text_.text()[from]))) {
            ++from;
        }
        while (to > from && std::isspace(static_cast<unsigned char>(text_.text()[to - 1]))) {
            --to;
        }
        if (from < to) {
            return JspSpan{text_.positionOf(from), text_.positionOf(to)};
        }
    }
    return std::nullopt;
}

JspSpan SpanFinder::find(std::string_view javaStatement, int jspLine) const {
    if (jspLine < 1 || jspLine > lineCount()) {
        return {{jspLine, 1}, {jspLine, 1}};
    }
    if (const auto arg = callArgument(javaStatement, "out.write(")) {
        if (const auto text = unescapeJavaLiteral(*arg)) {
            if (const auto span = textOnLine(*text, jspLine)) {
                return *span;
            }
            return wholeLine(jspLine);
        }
        // An EL expression: out.write((java.lang.String) ...evaluate("${x}", ...));
        const auto el = arg->find("evaluate(\"");
        if (el != std::string_view::npos) {
            const auto start = el + 9;
            auto end = start + 1;
            while (end < arg->size() && (*arg)[end] != '"') {
                end += (*arg)[end] == '\\' ? 2 : 1;
            }
            if (end < arg->size()) {
                if (const auto text = unescapeJavaLiteral(arg->substr(start, end - start + 1))) {
                    if (const auto span = textOnLine(*text, jspLine)) {
                        return *span;
                    }
                }
            }
        }
    }
    if (const auto arg = callArgument(javaStatement, "out.print(")) {
        if (const auto span = expressionOnLine(*arg, jspLine)) {
            return *span;
        }
    }
    if (const auto span = elementPartOnLine(jspLine)) {
        return *span;
    }
    return wholeLine(jspLine);
}

} // namespace tomcatrunner
