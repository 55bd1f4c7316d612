#pragma once

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <memory>
#include <string_view>
#include <vector>

namespace tracewin {

// The span of one tag in the HTML view's text: 1-based lines and columns.
struct HtmlTagPosition {
    int startLine = 0;
    int endLine = 0;
    int startPos = 0;
    int endPos = 0;

    int getStartLine() const { return startLine; }
    int getEndLine() const { return endLine; }
    int getStartPos() const { return startPos; }
    int getEndPos() const { return endPos; }

    friend bool operator==(const HtmlTagPosition&, const HtmlTagPosition&) = default;
};

// One complete tag of the output, "<" to ">", and where it stands. The text is a view into
// the HtmlTags that holds the tag.
struct HtmlTag {
    std::string_view text;
    HtmlTagPosition pos;
};

// The tags one piece of output completed, in order, with their texts. A piece can complete
// thousands of tags: their texts are copied into a few shared blocks, not one allocation
// each. It moves but does not copy (its tags' texts stay where they are when it moves).
class HtmlTags {
public:
    HtmlTags() = default;
    HtmlTags(std::initializer_list<HtmlTag> tags) {
        for (const HtmlTag& tag : tags)
            push_back(tag);
    }
    HtmlTags(HtmlTags&&) noexcept = default;
    HtmlTags& operator=(HtmlTags&&) noexcept = default;
    HtmlTags(const HtmlTags&) = delete;
    HtmlTags& operator=(const HtmlTags&) = delete;

    // Makes room for `tags` tags whose texts take `textBytes` in all (an estimate: more
    // is taken as needed), so that a piece's tags are not moved as they come.
    void reserve(std::size_t tags, std::size_t textBytes) {
        tags_.reserve(tags);
        if (textBytes > capacity_ - used_)
            startBlock(textBytes);
    }

    // Adds a tag, copying its text.
    void push_back(const HtmlTag& tag) { tags_.push_back({keep(tag.text), tag.pos}); }

    // Adds tags before `at` (one of this list's places), copying their texts.
    void insert(const HtmlTag* at, const HtmlTag* first, const HtmlTag* last) {
        std::vector<HtmlTag> kept;
        kept.reserve(static_cast<std::size_t>(last - first));
        for (const HtmlTag* tag = first; tag != last; ++tag)
            kept.push_back({keep(tag->text), tag->pos});
        tags_.insert(tags_.begin() + (at - tags_.data()), kept.begin(), kept.end());
    }

    const HtmlTag* begin() const { return tags_.data(); }
    const HtmlTag* end() const { return tags_.data() + tags_.size(); }
    const HtmlTag* data() const { return tags_.data(); }
    std::size_t size() const { return tags_.size(); }
    bool empty() const { return tags_.empty(); }
    const HtmlTag& operator[](std::size_t i) const { return tags_[i]; }

private:
    static constexpr std::size_t kFirstBlockSize = 256;
    static constexpr std::size_t kBlockSize = 16 * 1024;

    std::string_view keep(std::string_view text) {
        if (text.empty())
            return {};
        // Blocks grow from small (most pieces complete a tag or two) to kBlockSize.
        if (text.size() > capacity_ - used_)
            startBlock(
                std::max(text.size(), std::clamp(2 * capacity_, kFirstBlockSize, kBlockSize)));
        char* at = blocks_.back().get() + used_;
        std::copy(text.begin(), text.end(), at);
        used_ += text.size();
        return {at, text.size()};
    }

    void startBlock(std::size_t capacity) {
        blocks_.push_back(std::make_unique_for_overwrite<char[]>(capacity));
        capacity_ = capacity;
        used_ = 0;
    }

    std::vector<HtmlTag> tags_;
    std::vector<std::unique_ptr<char[]>> blocks_;
    std::size_t capacity_ = 0; // of the last block
    std::size_t used_ = 0;     // of the last block
};

} // namespace tracewin
