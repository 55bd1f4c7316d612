#include "syntax/htmllexer.h"

#include "syntax/chars.h"

#include <algorithm>

namespace tracewin::syntax {

using namespace chars;

namespace {

enum Raw : State { NotRaw = 0, Script = 1, Style = 2 };

State withRaw(State mode, State raw) {
    return mode | (raw << HtmlLexer::RAW_SHIFT);
}
State rawOf(State state) {
    return (state >> HtmlLexer::RAW_SHIFT) & 0x3;
}
bool isNameChar(char16_t c) {
    return !isSpace(c) && c != u'>' && c != u'/' && c != u'=' && c != u'"' && c != u'\'' &&
           c != u'<';
}

} // namespace

bool HtmlLexer::jspStartsAt(CharsView line, std::size_t pos) {
    if (pos + 1 >= line.size())
        return false;
    const char16_t c = line[pos];
    if (c == u'<')
        return line[pos + 1] == u'%';
    // "\${" is the text "${".
    return (c == u'$' || c == u'#') && line[pos + 1] == u'{' &&
           (pos == 0 || line[pos - 1] != u'\\');
}

bool HtmlLexer::stopsAt(CharsView line, std::size_t i, std::size_t runStart) const {
    return i >= line.size() || i - runStart >= MAX_RUN || (embedsJsp_ && jspStartsAt(line, i));
}

Token HtmlLexer::until(CharsView line, std::size_t begin, std::size_t pos, std::u16string_view end,
                       TokenKind kind, State open, State closed, State& state) const {
    std::size_t i = pos;
    while (!stopsAt(line, i, begin)) {
        if (at(line, i, end)) {
            state = closed;
            return {begin, i + end.size(), kind};
        }
        ++i;
    }
    state = open;
    return {begin, std::min(std::max(i, begin + 1), line.size()), kind};
}

Token HtmlLexer::next(CharsView line, std::size_t pos, State& state) const {
    const State raw = rawOf(state);
    switch (state & MODE_MASK) {
    case Comment:
        return until(line, pos, pos, u"-->", TokenKind::Comment, Comment, Content, state);
    case Declaration:
        return until(line, pos, pos, u">", TokenKind::Tag, Declaration, Content, state);
    case DoubleQuoted:
        return until(line, pos, pos, u"\"", TokenKind::AttributeValue, withRaw(DoubleQuoted, raw),
                     withRaw(InTag, raw), state);
    case SingleQuoted:
        return until(line, pos, pos, u"'", TokenKind::AttributeValue, withRaw(SingleQuoted, raw),
                     withRaw(InTag, raw), state);
    case InTag:
    case AfterName:
    case BeforeValue:
        return inTag(line, pos, state);
    case RawText: {
        const std::u16string_view end = raw == Style ? u"</style" : u"</script";
        if (atIgnoringCase(line, pos, end))
            return content(line, pos, state);
        std::size_t i = pos + 1;
        while (!stopsAt(line, i, pos) && !atIgnoringCase(line, i, end))
            ++i;
        return {pos, i, TokenKind::Text};
    }
    default:
        return content(line, pos, state);
    }
}

std::size_t HtmlLexer::advance(CharsView line, std::size_t pos, State& state,
                               std::size_t limit) const {
    // A JSP page's template text also stops at the page's own elements: token by token.
    if (embedsJsp_)
        return Lexer::advance(line, pos, state, limit);
    while (pos < line.size()) {
        const State mode = state & MODE_MASK;
        const bool readsContent = mode == Content || mode > RawText; // as next() does
        if (readsContent && line[pos] != u'<') {
            // Text, its entities and its runs all end at the next "<" and leave the state
            // at Content.
            const std::size_t tag = std::min(line.find(u'<', pos), line.size());
            if (tag > limit)
                break;
            state = Content;
            pos = tag;
            continue;
        }
        // A tag of a name alone ("<td>", "</td>"), most of what output holds, in one step.
        if (readsContent) {
            if (const std::size_t end = plainTagEnd(line, pos); end != 0) {
                if (end > limit)
                    break;
                state = Content;
                pos = end;
                continue;
            }
        }
        if (!takeToken(line, pos, state, limit))
            break;
    }
    return pos;
}

std::size_t HtmlLexer::plainTagEnd(CharsView line, std::size_t pos) {
    const std::size_t n = line.size();
    const bool endTag = pos + 1 < n && line[pos + 1] == u'/';
    const std::size_t nameStart = pos + (endTag ? 2 : 1);
    if (nameStart >= n || !isAsciiLetter(line[nameStart]))
        return 0;
    // The name ends where content() ends its token: a run is cut at MAX_RUN.
    std::size_t i = nameStart + 1;
    while (i < n && i - pos < MAX_RUN && isNameChar(line[i]))
        ++i;
    if (i >= n || line[i] != u'>')
        return 0;
    // The text of a script or a style element is no markup.
    const CharsView name = line.substr(nameStart, i - nameStart);
    if (!endTag && ((name.size() == 6 && atIgnoringCase(name, 0, u"script")) ||
                    (name.size() == 5 && atIgnoringCase(name, 0, u"style"))))
        return 0;
    return i + 1;
}

Token HtmlLexer::content(CharsView line, std::size_t pos, State& state) const {
    const std::size_t n = line.size();
    state = Content;
    const char16_t c = line[pos];
    if (c == u'<') {
        if (at(line, pos, u"<!--"))
            return until(line, pos, pos + 4, u"-->", TokenKind::Comment, Comment, Content, state);
        if (pos + 1 < n && (line[pos + 1] == u'!' || line[pos + 1] == u'?'))
            return until(line, pos, pos + 2, u">", TokenKind::Tag, Declaration, Content, state);
        const bool endTag = pos + 1 < n && line[pos + 1] == u'/';
        const std::size_t nameStart = pos + (endTag ? 2 : 1);
        if (nameStart < n && isAsciiLetter(line[nameStart])) {
            std::size_t i = nameStart + 1;
            while (!stopsAt(line, i, pos) && isNameChar(line[i]))
                ++i;
            const CharsView name = line.substr(nameStart, i - nameStart);
            State rawNext = NotRaw;
            if (!endTag && name.size() == 6 && atIgnoringCase(name, 0, u"script"))
                rawNext = Script;
            else if (!endTag && name.size() == 5 && atIgnoringCase(name, 0, u"style"))
                rawNext = Style;
            state = withRaw(InTag, rawNext);
            return {pos, i, TokenKind::Tag};
        }
        return {pos, pos + 1, TokenKind::Text};
    }
    if (c == u'&') {
        std::size_t i = pos + 1;
        if (i < n && line[i] == u'#')
            ++i;
        const std::size_t nameStart = i;
        while (i < n && i - pos < 40 && (isAsciiLetter(line[i]) || isDigit(line[i])))
            ++i;
        if (i > nameStart && i < n && line[i] == u';')
            return {pos, i + 1, TokenKind::Entity};
        return {pos, pos + 1, TokenKind::Text};
    }
    std::size_t i = pos + 1;
    while (!stopsAt(line, i, pos) && line[i] != u'<' && line[i] != u'&')
        ++i;
    return {pos, i, TokenKind::Text};
}

Token HtmlLexer::inTag(CharsView line, std::size_t pos, State& state) const {
    const std::size_t n = line.size();
    const State raw = rawOf(state);
    const State mode = state & MODE_MASK;
    const char16_t c = line[pos];
    if (isSpace(c)) {
        std::size_t i = pos + 1;
        while (!stopsAt(line, i, pos) && isSpace(line[i]))
            ++i;
        return {pos, i, TokenKind::Text};
    }
    if (c == u'>') {
        state = raw != NotRaw ? withRaw(RawText, raw) : Content;
        return {pos, pos + 1, TokenKind::Tag};
    }
    if (c == u'/' && pos + 1 < n && line[pos + 1] == u'>') {
        state = Content;
        return {pos, pos + 2, TokenKind::Tag};
    }
    if (c == u'=') {
        state = withRaw(BeforeValue, raw);
        return {pos, pos + 1, TokenKind::Text};
    }
    if (mode == BeforeValue) {
        if (c == u'"')
            return until(line, pos, pos + 1, u"\"", TokenKind::AttributeValue,
                         withRaw(DoubleQuoted, raw), withRaw(InTag, raw), state);
        if (c == u'\'')
            return until(line, pos, pos + 1, u"'", TokenKind::AttributeValue,
                         withRaw(SingleQuoted, raw), withRaw(InTag, raw), state);
        std::size_t i = pos + 1;
        while (!stopsAt(line, i, pos) && !isSpace(line[i]) && line[i] != u'>')
            ++i;
        state = withRaw(InTag, raw);
        return {pos, i, TokenKind::AttributeValue};
    }
    if (isNameChar(c)) {
        std::size_t i = pos + 1;
        while (!stopsAt(line, i, pos) && isNameChar(line[i]))
            ++i;
        state = withRaw(AfterName, raw);
        return {pos, i, TokenKind::Attribute};
    }
    state = withRaw(InTag, raw);
    return {pos, pos + 1, TokenKind::Text};
}

} // namespace tracewin::syntax
