#pragma once

#include <cstdint>
#include <string_view>

namespace tracehook {

// One row of the source map: a line of the generated Java file and the JSP span it came
// from. Lines are 1-based; the span's end position is exclusive. Rows never change.
class JspLineSourceInfo {
public:
    static constexpr std::string_view lineInfoStrToken = "%L";
    static constexpr std::string_view infoStrToken = "&";

    constexpr JspLineSourceInfo() = default;
    constexpr JspLineSourceInfo(std::int32_t javaLine, std::int32_t jspStartLine,
                                std::int32_t jspStartPos, std::int32_t jspEndLine,
                                std::int32_t jspEndPos)
        : javaLine_(javaLine), jspStartLine_(jspStartLine), jspStartPos_(jspStartPos),
          jspEndLine_(jspEndLine), jspEndPos_(jspEndPos) {}
    constexpr JspLineSourceInfo(std::int32_t javaLine, std::int32_t javaPos,
                                std::int32_t jspStartLine, std::int32_t jspStartPos,
                                std::int32_t jspEndLine, std::int32_t jspEndPos)
        : javaLine_(javaLine), javaPos_(javaPos), jspStartLine_(jspStartLine),
          jspStartPos_(jspStartPos), jspEndLine_(jspEndLine), jspEndPos_(jspEndPos) {}

    constexpr std::int32_t getJavaLine() const { return javaLine_; }
    constexpr std::int32_t getJavaPos() const { return javaPos_; }
    constexpr std::int32_t getJspStartLine() const { return jspStartLine_; }
    constexpr std::int32_t getJspStartPos() const { return jspStartPos_; }
    constexpr std::int32_t getJspEndLine() const { return jspEndLine_; }
    constexpr std::int32_t getJspEndPos() const { return jspEndPos_; }

    friend constexpr bool operator==(const JspLineSourceInfo&, const JspLineSourceInfo&) = default;

private:
    std::int32_t javaLine_ = 0;
    std::int32_t javaPos_ = 0;
    std::int32_t jspStartLine_ = 0;
    std::int32_t jspStartPos_ = 0;
    std::int32_t jspEndLine_ = 0;
    std::int32_t jspEndPos_ = 0;
};

} // namespace tracehook
