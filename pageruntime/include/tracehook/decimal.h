#pragma once

#include <charconv>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tracehook {

// A decimal 32-bit integer: an optional minus sign and digits, nothing else. Every reader
// of numbers that arrive as text (records, replies, settings, file ids) uses it.
inline std::optional<std::int32_t> parseDecimalInt32(std::string_view text) {
    std::int32_t value = 0;
    if (text.empty() || text.front() == '+')
        return std::nullopt;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// The value of a hexadecimal digit of either case, or -1 for any other character.
inline int hexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace tracehook
