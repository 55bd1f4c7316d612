#pragma once

#include "text/charsview.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace tracewin {

// Case and blanks of HTML tag names, which are ASCII: the same in every locale, and
// without a library call per character on the output's hot path. Other bytes (parts of
// UTF-8 sequences) stay as they are.
constexpr char asciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - ('a' - 'A')) : c;
}

constexpr char16_t asciiUpper(char16_t c) {
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - (u'a' - u'A')) : c;
}

constexpr bool isAsciiSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Whether every byte is ASCII, as most of a page's output is: such text needs no decoding.
inline bool isAscii(std::string_view text) {
    // Eight bytes at a time: output comes in megabytes.
    constexpr std::uint64_t kHighBits = 0x8080808080808080ull;
    std::uint64_t any = 0;
    std::size_t i = 0;
    for (; i + sizeof any <= text.size(); i += sizeof any) {
        std::uint64_t word;
        std::memcpy(&word, text.data() + i, sizeof word);
        any |= word;
    }
    for (; i < text.size(); ++i)
        any |= static_cast<unsigned char>(text[i]);
    return (any & kHighBits) == 0;
}

inline std::string asciiUpper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = asciiUpper(c);
    return out;
}

inline bool startsWithIgnoringAsciiCase(CharsView text, std::u16string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    const auto same = [prefix](auto units, auto unit) {
        for (std::size_t i = 0; i < prefix.size(); ++i) {
            if (asciiUpper(unit(units[i])) != asciiUpper(prefix[i]))
                return false;
        }
        return true;
    };
    if (text.isWide())
        return same(text.wide(), [](char16_t c) { return c; });
    return same(text.narrow(), [](char c) { return char16_t(static_cast<unsigned char>(c)); });
}

} // namespace tracewin
