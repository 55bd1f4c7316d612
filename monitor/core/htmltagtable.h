#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace tracewin {

// How an HTML element closes and nests.
class HtmlType {
public:
    constexpr HtmlType() = default;
    constexpr HtmlType(int level, int type) : htmlLevel(level), htmlType(type) {}
    constexpr int getHtmlType() const { return htmlType; }
    constexpr int getHtmlLevel() const { return htmlLevel; }
    friend constexpr bool operator==(const HtmlType&, const HtmlType&) = default;

private:
    int htmlLevel = 0;
    int htmlType = 0;
};

// The fixed table of HTML element names with their end-tag rule and nesting level.
class HtmlTagTable {
public:
    // End-tag rules.
    static constexpr int END_TAG_FORBIDDEN = 0;
    static constexpr int END_TAG_OPTIONAL = 1;
    static constexpr int END_TAG_REQUIRED = 2;
    static constexpr int IS_AN_END_TAG = 3;
    static constexpr int XML_TAG = 4;
    static constexpr int DONT_KNOW = 5;
    // Nesting levels.
    static constexpr int BLOCK_ELEMENT = 0;
    static constexpr int SINGLE_BLOCK_ELEMENT = 1;
    static constexpr int TEXT_ELEMENT = 2;
    static constexpr int LEAF_ELEMENT = 3;
    static constexpr int INLINE_ELEMENT = 4;
    static constexpr int EMPTY_ELEMENT = 5;

    static constexpr HtmlType xmlType{BLOCK_ELEMENT, XML_TAG};
    static constexpr HtmlType commentType{INLINE_ELEMENT, END_TAG_FORBIDDEN};

    static const HtmlTagTable& createHtmlTagTable();

    // The type of a tag body (the text between "<" and ">"): comments ("!--...") have the
    // comment type; otherwise the first blank-separated word, in upper case, is looked
    // up, and an unknown word is an XML tag.
    HtmlType getHtmlType(std::string_view tagBody) const;

    std::size_t size() const { return size_; }

private:
    HtmlTagTable();
    void init();

    static constexpr std::size_t kLongestName = 10; // "BLOCKQUOTE"

    // Every tag of the output is looked up: an open-addressed table of the upper-case
    // names, a quarter full, finds one with a hash and a compare or two.
    struct Slot {
        std::array<char, kLongestName> name{};
        std::uint8_t length = 0; // 0: an empty slot
        HtmlType type;
    };
    static constexpr std::size_t kSlots = 512;
    static std::size_t slotOf(std::string_view upperName);
    void add(std::string_view upperName, HtmlType type);

    std::array<Slot, kSlots> slots_{};
    std::size_t size_ = 0;
};

} // namespace tracewin
