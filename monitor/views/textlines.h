#pragma once

#include "views/linelist.h"

#include <QLatin1StringView>
#include <QStringView>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <memory>
#include <vector>

namespace tracewin {

// Lines of text kept in a few large blocks, for output that only grows at its end: a line
// costs its characters and 16 bytes, where a line object with a string of its own costs
// over a hundred more, and two allocations. A line is kept one byte a character (Latin-1)
// while every character it holds fits one, as nearly all output does, and in UTF-16 from
// the first that does not. Only the last line grows; lines are only ever removed from one
// on to the end.
class TextLines {
public:
    TextLines() = default;
    TextLines(const TextLines&) = delete;
    TextLines& operator=(const TextLines&) = delete;

    std::size_t size() const { return lines_.size(); }
    bool empty() const { return lines_.empty(); }
    // The text of a 0-based line; valid until the next change of the list.
    CharsView text(std::size_t index) const {
        const Line& line = lines_[index];
        const char* start = blocks_[line.block].data.get() + line.offset;
        if (line.wide)
            return std::u16string_view(reinterpret_cast<const char16_t*>(start), line.length);
        return CharsView::latin1({start, line.length});
    }
    std::size_t length(std::size_t index) const { return lines_[index].length; }

    // A new last line.
    void appendLine(QStringView text = {});
    void appendLine(QLatin1StringView text);
    // More text on the last line; a new line when there is none.
    void appendToLast(QStringView text);
    void appendToLast(QLatin1StringView text);
    // Keeps the first `count` lines.
    void truncate(std::size_t count);
    void clear() { truncate(0); }
    // The first `count` lines in a store of their own.
    std::shared_ptr<TextLines> copy(std::size_t count) const;
    // The room the blocks hold, used or not.
    std::size_t capacityBytes() const;

private:
    // Lines of this many bytes or more get a block of their own, which grows in place.
    static constexpr std::size_t kOwnBlockFrom = std::size_t{1} << 16;
    // The blocks shorter lines share start small, for the many short outputs, and double
    // up to one huge page of the system: a text of megabytes is not written a 4 KiB page
    // fault at a time.
    static constexpr std::size_t kFirstSharedBlockBytes = std::size_t{1} << 14;
    static constexpr std::size_t kLastSharedBlockBytes = std::size_t{2} << 20;

    // Blocks come from the allocator, or are mapped as one huge page.
    struct BlockDeleter {
        bool mapped; // false in a value-initialised deleter
        void operator()(char* p) const;
    };
    // Sizes and offsets in a block are in bytes.
    struct Block {
        std::unique_ptr<char, BlockDeleter> data;
        std::size_t capacity = 0;
        std::size_t used = 0;
        bool shared = true;
    };
    struct Line {
        std::uint32_t block;
        std::uint32_t offset;
        std::uint64_t length : 63; // in characters
        std::uint64_t wide : 1;
    };

    template <class Text> void appendLineOf(Text text);
    template <class Text> void appendToLastOf(Text text);
    // The last line kept in UTF-16 from now on, with room for `added` more characters.
    void widenLast(std::size_t added);
    // Room for `bytes` at the end of a block, at an even offset for UTF-16: the shared block
    // being filled, a new shared one, or a block of its own for a long line. Returns the
    // block's index; the room starts at its `used`.
    std::uint32_t roomFor(std::size_t bytes, bool wide);
    std::uint32_t newBlock(std::size_t capacity, bool shared);
    void freeBlock(std::uint32_t index);

    static constexpr std::uint32_t kNoBlock = UINT32_MAX;

    std::vector<Block> blocks_;
    // Lines are never moved as the list grows: a tag stack of millions of open elements is
    // not copied whole each time it doubles.
    std::deque<Line> lines_;
    std::size_t nextSharedBytes_ = kFirstSharedBlockBytes;
    // The shared block short lines are written into.
    std::uint32_t open_ = kNoBlock;
    // Blocks freed by truncate, to be used again.
    std::vector<std::uint32_t> freeSlots_;
};

// A store's lines, all of them, as a source text component reads them.
class TextLinesList final : public LineList {
public:
    explicit TextLinesList(const TextLines& lines) : lines_(&lines) {}
    std::size_t size() const override { return lines_->size(); }
    CharsView text(std::size_t index) const override { return lines_->text(index); }

private:
    const TextLines* lines_;
};

} // namespace tracewin
