#pragma once

#include <compare>

namespace tracewin {

// A 1-based column and line in a displayed text, ordered by line, then column.
struct FilePosition {
    int pos = 0;
    int line = 0;

    constexpr FilePosition() = default;
    constexpr FilePosition(int pos_, int line_) : pos(pos_), line(line_) {}

    constexpr bool isEqualTo(const FilePosition& o) const { return *this == o; }
    constexpr bool isLessThan(const FilePosition& o) const { return *this < o; }
    constexpr bool isLessThanOrEqualTo(const FilePosition& o) const { return *this <= o; }
    constexpr bool isGreaterThan(const FilePosition& o) const { return *this > o; }
    constexpr bool isGreaterThanOrEqualTo(const FilePosition& o) const { return *this >= o; }

    friend constexpr bool operator==(const FilePosition&, const FilePosition&) = default;
    friend constexpr std::strong_ordering operator<=>(const FilePosition& a,
                                                      const FilePosition& b) {
        if (auto c = a.line <=> b.line; c != 0)
            return c;
        return a.pos <=> b.pos;
    }
};

} // namespace tracewin
