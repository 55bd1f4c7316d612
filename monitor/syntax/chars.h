#pragma once

#include "text/charsview.h"

#include <cstddef>
#include <string_view>

// Character tests shared by the lexers; everything at or above U+0080 counts as a letter.
namespace tracewin::syntax::chars {

inline bool isSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f';
}
inline bool isDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}
inline bool isAsciiLetter(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}
inline bool isIdentStart(char16_t c) {
    return isAsciiLetter(c) || c == u'_' || c == u'$' || c >= 0x80;
}
inline bool isIdentPart(char16_t c) {
    return isIdentStart(c) || isDigit(c);
}

// Whether line holds s at pos.
inline bool at(CharsView line, std::size_t pos, std::u16string_view s) {
    return line.substr(pos, s.size()) == s;
}
inline char16_t lower(char16_t c) {
    return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c;
}
// Whether line holds s at pos, ignoring ASCII case (s in lower case).
inline bool atIgnoringCase(CharsView line, std::size_t pos, std::u16string_view s) {
    if (pos > line.size() || line.size() - pos < s.size())
        return false;
    for (std::size_t i = 0; i < s.size(); ++i)
        if (lower(line[pos + i]) != s[i])
            return false;
    return true;
}

} // namespace tracewin::syntax::chars
