#include "syntax/javalexer.h"

#include "syntax/chars.h"

#include <algorithm>
#include <array>

namespace tracewin::syntax {

using namespace chars;

namespace {

bool isKeyword(CharsView word) {
    static constexpr std::array<std::u16string_view, 58> kKeywords = {
        u"abstract", u"assert",     u"boolean",  u"break",     u"byte",     u"case",
        u"catch",    u"char",       u"class",    u"const",     u"continue", u"default",
        u"do",       u"double",     u"else",     u"enum",      u"extends",  u"final",
        u"finally",  u"float",      u"for",      u"goto",      u"if",       u"implements",
        u"import",   u"instanceof", u"int",      u"interface", u"long",     u"native",
        u"new",      u"package",    u"private",  u"protected", u"public",   u"return",
        u"short",    u"static",     u"strictfp", u"super",     u"switch",   u"synchronized",
        u"this",     u"throw",      u"throws",   u"transient", u"try",      u"void",
        u"volatile", u"while",      u"true",     u"false",     u"null",     u"var",
        u"record",   u"yield",      u"sealed",   u"permits"};
    return std::find(kKeywords.begin(), kKeywords.end(), word) != kKeywords.end();
}

} // namespace

bool JavaLexer::stopsAt(CharsView line, std::size_t i, std::size_t runStart) const {
    return i >= line.size() || i - runStart >= MAX_RUN ||
           (insideJsp_ && line[i] == u'%' && i + 1 < line.size() && line[i + 1] == u'>');
}

Token JavaLexer::quoted(CharsView line, std::size_t begin, std::size_t pos, char16_t quote,
                        Mode open, State& state) const {
    std::size_t i = pos;
    while (!stopsAt(line, i, begin)) {
        if (line[i] == u'\\' && i + 1 < line.size() && !stopsAt(line, i + 1, begin)) {
            i += 2;
            continue;
        }
        if (line[i++] == quote) {
            state = Code;
            return {begin, i, TokenKind::String};
        }
    }
    state = open;
    return {begin, i, TokenKind::String};
}

Token JavaLexer::delimitedComment(CharsView line, std::size_t begin, std::size_t pos,
                                  State& state) const {
    std::size_t i = pos;
    while (!stopsAt(line, i, begin)) {
        if (line[i] == u'*' && i + 1 < line.size() && line[i + 1] == u'/') {
            state = Code;
            return {begin, i + 2, TokenKind::Comment};
        }
        ++i;
    }
    state = BlockComment;
    return {begin, std::min(std::max(i, begin + 1), line.size()), TokenKind::Comment};
}

Token JavaLexer::textBlock(CharsView line, std::size_t begin, std::size_t pos, State& state) const {
    std::size_t i = pos;
    while (!stopsAt(line, i, begin)) {
        if (line[i] == u'\\' && !stopsAt(line, i + 1, begin)) {
            i += 2;
            continue;
        }
        if (at(line, i, u"\"\"\"")) {
            state = Code;
            return {begin, i + 3, TokenKind::String};
        }
        ++i;
    }
    state = TextBlock;
    return {begin, std::min(std::max(i, begin + 1), line.size()), TokenKind::String};
}

Token JavaLexer::next(CharsView line, std::size_t pos, State& state) const {
    const std::size_t n = line.size();
    switch (state & MODE_MASK) {
    case BlockComment:
        return delimitedComment(line, pos, pos, state);
    case TextBlock:
        return textBlock(line, pos, pos, state);
    case InString:
        return quoted(line, pos, pos, u'"', InString, state);
    case InChar:
        return quoted(line, pos, pos, u'\'', InChar, state);
    case LineComment: {
        std::size_t i = pos + 1;
        while (!stopsAt(line, i, pos))
            ++i;
        state = LineComment;
        return {pos, i, TokenKind::Comment};
    }
    default:
        break;
    }
    state = Code;
    const char16_t c = line[pos];
    if (isSpace(c)) {
        std::size_t i = pos + 1;
        while (!stopsAt(line, i, pos) && isSpace(line[i]))
            ++i;
        return {pos, i, TokenKind::Text};
    }
    if (c == u'/' && pos + 1 < n && line[pos + 1] == u'/') {
        std::size_t i = pos + 2;
        while (!stopsAt(line, i, pos))
            ++i;
        state = LineComment;
        return {pos, i, TokenKind::Comment};
    }
    if (c == u'/' && pos + 1 < n && line[pos + 1] == u'*')
        return delimitedComment(line, pos, pos + 2, state);
    if (at(line, pos, u"\"\"\""))
        return textBlock(line, pos, pos + 3, state);
    if (c == u'"')
        return quoted(line, pos, pos + 1, u'"', InString, state);
    if (c == u'\'')
        return quoted(line, pos, pos + 1, u'\'', InChar, state);
    if (isDigit(c) || (c == u'.' && pos + 1 < n && isDigit(line[pos + 1]))) {
        std::size_t i = pos + 1;
        const bool hex = c == u'0' && pos + 1 < n && lower(line[pos + 1]) == u'x';
        while (!stopsAt(line, i, pos)) {
            const char16_t d = line[i];
            const char16_t before = lower(line[i - 1]);
            const bool sign =
                (d == u'+' || d == u'-') && (before == u'p' || (before == u'e' && !hex));
            if (!(isIdentPart(d) || d == u'.' || sign))
                break;
            ++i;
        }
        return {pos, i, TokenKind::Number};
    }
    if (c == u'@' && pos + 1 < n && isIdentStart(line[pos + 1])) {
        std::size_t i = pos + 1;
        while (!stopsAt(line, i, pos) && (isIdentPart(line[i]) || line[i] == u'.'))
            ++i;
        const bool keyword = line.substr(pos + 1, i - pos - 1) == u"interface";
        return {pos, i, keyword ? TokenKind::Keyword : TokenKind::Annotation};
    }
    if (isIdentStart(c)) {
        std::size_t i = pos + 1;
        while (!stopsAt(line, i, pos) && isIdentPart(line[i]))
            ++i;
        return {pos, i,
                isKeyword(line.substr(pos, i - pos)) ? TokenKind::Keyword : TokenKind::Text};
    }
    return {pos, pos + 1, TokenKind::Text};
}

State JavaLexer::atLineEnd(State state) const {
    switch (state & MODE_MASK) {
    case LineComment:
    case InString:
    case InChar:
        return Code;
    default:
        return state;
    }
}

} // namespace tracewin::syntax
