#include "views/syntaxcolouring.h"

#include "syntax/htmllexer.h"
#include "syntax/javalexer.h"
#include "syntax/jsplexer.h"

#include <algorithm>

namespace tracewin {

namespace {

// A lexer that leaves every line one run of text.
class PlainLexer final : public syntax::Lexer {
public:
    syntax::Token next(CharsView line, std::size_t pos, syntax::State&) const override {
        return {pos, line.size(), syntax::TokenKind::Text};
    }
};

std::unique_ptr<const syntax::Lexer> lexerFor(SourceLanguage language) {
    switch (language) {
    case SourceLanguage::Jsp:
        return std::make_unique<syntax::JspLexer>();
    case SourceLanguage::Java:
        return std::make_unique<syntax::JavaLexer>();
    case SourceLanguage::Html:
        return std::make_unique<syntax::HtmlLexer>();
    case SourceLanguage::Plain:
        break;
    }
    return std::make_unique<PlainLexer>();
}

} // namespace

SyntaxColouring::SyntaxColouring(SourceLanguage language) : lexer_(lexerFor(language)) {}

QColor SyntaxColouring::colourOf(syntax::TokenKind kind) {
    using K = syntax::TokenKind;
    switch (kind) {
    case K::Keyword:
    case K::Tag:
        return QColor(0x00, 0x33, 0xb3); // dark blue
    case K::String:
    case K::AttributeValue:
        return QColor(0x06, 0x7d, 0x17); // green
    case K::Number:
        return QColor(0x17, 0x50, 0xeb); // blue
    case K::Comment:
    case K::JspComment:
        return QColor(0x8c, 0x8c, 0x8c); // grey
    case K::Annotation:
        return QColor(0x9e, 0x88, 0x0d); // olive
    case K::CustomTag:
    case K::Directive:
        return QColor(0x87, 0x10, 0x94); // purple
    case K::Attribute:
        return QColor(0x17, 0x4a, 0xd4); // blue
    case K::Entity:
        return QColor(0x00, 0x80, 0x80); // teal
    case K::JspDelimiter:
        return QColor(0xc0, 0x50, 0x00); // orange brown
    case K::El:
    case K::Script:
        return QColor(0x87, 0x3a, 0x00); // brown: the page's own code
    case K::Text:
        break;
    }
    return QColor(Qt::black);
}

std::vector<SyntaxColouring::Run> SyntaxColouring::runs(const LineList& lines, int line, int first,
                                                        int last) {
    std::vector<Run> out;
    if (line < 1 || static_cast<std::size_t>(line) > lines.size() || last < first)
        return out;
    const auto text = [&lines](std::size_t i) {
        return lines.text(i);
    };
    const std::size_t from = static_cast<std::size_t>(std::max(first, 1) - 1);
    const std::size_t to = static_cast<std::size_t>(std::max(last, 1));
    for (const syntax::Token& token :
         lexer_.tokens(text, static_cast<std::size_t>(line - 1), from, to)) {
        const int begin = static_cast<int>(std::max(token.begin, from)) + 1;
        const int end = static_cast<int>(std::min(token.end, to)) + 1;
        if (begin >= end)
            continue;
        const QColor colour = colourOf(token.kind);
        if (!out.empty() && out.back().end == begin && out.back().colour == colour)
            out.back().end = end;
        else
            out.push_back({begin, end, colour});
    }
    return out;
}

} // namespace tracewin
