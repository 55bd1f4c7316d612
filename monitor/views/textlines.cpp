#include "views/textlines.h"

#include <algorithm>
#include <cstring>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace tracewin {
namespace {

constexpr std::size_t kHugePageBytes = std::size_t{2} << 20;

// A block of the size of a huge page, aligned to one, which the system is asked to back
// with a huge page; null where that cannot be had.
char* mapHugePage() {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    void* p = ::mmap(nullptr, 2 * kHugePageBytes, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        return nullptr;
    // Of twice the size mapped, the aligned huge page in it stays.
    const auto start = reinterpret_cast<std::uintptr_t>(p);
    const std::uintptr_t aligned = (start + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
    if (aligned > start)
        ::munmap(p, aligned - start);
    if (const std::uintptr_t tail = start + 2 * kHugePageBytes - (aligned + kHugePageBytes))
        ::munmap(reinterpret_cast<void*>(aligned + kHugePageBytes), tail);
    ::madvise(reinterpret_cast<void*>(aligned), kHugePageBytes, MADV_HUGEPAGE);
    return reinterpret_cast<char*>(aligned);
#else
    return nullptr;
#endif
}

char* allocateBytes(char* old, std::size_t bytes) {
    void* p = std::realloc(old, bytes);
    if (!p)
        throw std::bad_alloc();
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // A line of megabytes (output without line feeds) grows in its own block: the system
    // is asked to back it with huge pages, so that it is not written a 4 KiB page fault at
    // a time. The advice stays with the mapping as it grows.
    if (bytes >= 2 * kHugePageBytes) {
        const auto start = reinterpret_cast<std::uintptr_t>(p);
        const std::uintptr_t first = (start + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
        const std::uintptr_t last = (start + bytes) & ~(kHugePageBytes - 1);
        if (last > first)
            ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
    }
#endif
    return static_cast<char*>(p);
}

bool fitsLatin1(QStringView text) {
    char16_t all = 0;
    for (const QChar c : text)
        all |= c.unicode();
    return all < 0x100;
}

constexpr bool fitsLatin1(QLatin1StringView) {
    return true;
}

// Copies text to `to` one byte a character; every character fits one.
void copyNarrow(char* to, QStringView text) {
    const char16_t* from = text.utf16();
    for (qsizetype i = 0; i < text.size(); ++i)
        to[i] = static_cast<char>(from[i]);
}

void copyNarrow(char* to, QLatin1StringView text) {
    if (!text.isEmpty())
        std::memcpy(to, text.data(), static_cast<std::size_t>(text.size()));
}

// Widens `count` Latin-1 bytes at `from` to UTF-16 at `to`; `to` may be `from` itself, as
// the loop runs from the last character, whose wide form lies past every byte still unread.
void widen(char16_t* to, const char* from, std::size_t count) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(from);
    for (std::size_t i = count; i-- > 0;)
        to[i] = bytes[i];
}

// Copies text to `to` in UTF-16 (`to` at an even address).
void copyWide(char* to, QStringView text) {
    if (!text.isEmpty())
        std::memcpy(to, text.utf16(), static_cast<std::size_t>(text.size()) * sizeof(char16_t));
}

void copyWide(char* to, QLatin1StringView text) {
    widen(reinterpret_cast<char16_t*>(to), text.data(), static_cast<std::size_t>(text.size()));
}

// Copies text to `to` in the form a line is kept in.
template <class Text> void copyAs(bool wide, char* to, Text text) {
    if (wide)
        copyWide(to, text);
    else
        copyNarrow(to, text);
}

std::size_t bytesOf(std::size_t chars, bool wide) {
    return wide ? chars * sizeof(char16_t) : chars;
}

} // namespace

void TextLines::BlockDeleter::operator()(char* p) const {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (mapped) {
        ::munmap(p, kHugePageBytes);
        return;
    }
#endif
    std::free(p);
}

std::uint32_t TextLines::newBlock(std::size_t capacity, bool shared) {
    Block block;
    // A huge page is resident whole from its first character on: the first block of that
    // size is taken page by page, so that a text of about a megabyte does not hold two.
    const bool huge = shared && capacity == kHugePageBytes && capacityBytes() >= 2 * kHugePageBytes;
    char* page = huge ? mapHugePage() : nullptr;
    if (page)
        block.data = {page, BlockDeleter{true}};
    else
        block.data.reset(allocateBytes(nullptr, std::max<std::size_t>(capacity, 2)));
    block.capacity = capacity;
    block.shared = shared;
    if (!freeSlots_.empty()) {
        const std::uint32_t slot = freeSlots_.back();
        freeSlots_.pop_back();
        blocks_[slot] = std::move(block);
        return slot;
    }
    blocks_.push_back(std::move(block));
    return static_cast<std::uint32_t>(blocks_.size() - 1);
}

void TextLines::freeBlock(std::uint32_t index) {
    blocks_[index] = Block{};
    freeSlots_.push_back(index);
    if (open_ == index)
        open_ = kNoBlock;
}

std::size_t TextLines::capacityBytes() const {
    std::size_t bytes = 0;
    for (const Block& block : blocks_)
        bytes += block.capacity;
    return bytes;
}

std::uint32_t TextLines::roomFor(std::size_t bytes, bool wide) {
    if (bytes >= kOwnBlockFrom)
        return newBlock(bytes + bytes / 2, false);
    if (open_ < blocks_.size()) {
        Block& open = blocks_[open_];
        const std::size_t start = wide ? (open.used + 1) & ~std::size_t{1} : open.used;
        if (start <= open.capacity && open.capacity - start >= bytes) {
            open.used = start;
            return open_;
        }
    }
    const std::size_t capacity = std::max(nextSharedBytes_, bytes);
    nextSharedBytes_ = std::min(nextSharedBytes_ * 2, kLastSharedBlockBytes);
    open_ = newBlock(capacity, true);
    return open_;
}

void TextLines::appendLine(QStringView text) {
    appendLineOf(text);
}

void TextLines::appendLine(QLatin1StringView text) {
    appendLineOf(text);
}

void TextLines::appendToLast(QStringView text) {
    appendToLastOf(text);
}

void TextLines::appendToLast(QLatin1StringView text) {
    appendToLastOf(text);
}

template <class Text> void TextLines::appendLineOf(Text text) {
    const auto length = static_cast<std::size_t>(text.size());
    const bool wide = !fitsLatin1(text);
    const std::uint32_t index = roomFor(bytesOf(length, wide), wide);
    Block& block = blocks_[index];
    copyAs(wide, block.data.get() + block.used, text);
    lines_.push_back(Line{index, static_cast<std::uint32_t>(block.used), length, wide});
    block.used += bytesOf(length, wide);
}

template <class Text> void TextLines::appendToLastOf(Text text) {
    if (lines_.empty()) {
        appendLine(text);
        return;
    }
    if (text.isEmpty())
        return;
    const auto added = static_cast<std::size_t>(text.size());
    if (!lines_.back().wide && !fitsLatin1(text))
        widenLast(added);
    Line& last = lines_.back();
    const bool wide = last.wide;
    const auto write = [&](char* to) {
        copyAs(wide, to, text);
    };
    const std::size_t length = last.length + added;
    const std::size_t oldBytes = bytesOf(last.length, wide);
    const std::size_t addedBytes = bytesOf(added, wide);
    Block& block = blocks_[last.block];
    const bool atEnd = last.offset + oldBytes == block.used;
    if (atEnd && block.capacity - block.used >= addedBytes) {
        write(block.data.get() + block.used);
        block.used += addedBytes;
        last.length = length;
        return;
    }
    if (!block.shared) {
        // A long line's own block grows in place where the allocator can, else it moves.
        block.capacity = std::max(oldBytes + addedBytes, block.capacity * 2);
        block.data.reset(allocateBytes(block.data.release(), block.capacity));
        write(block.data.get() + oldBytes);
        block.used = oldBytes + addedBytes;
        last.length = length;
        return;
    }
    // The line moves to where it has room; the room it leaves is not used again.
    const std::uint32_t to = roomFor(oldBytes + addedBytes, wide);
    Block& from = blocks_[last.block];
    Block& target = blocks_[to];
    if (oldBytes > 0)
        std::memcpy(target.data.get() + target.used, from.data.get() + last.offset, oldBytes);
    write(target.data.get() + target.used + oldBytes);
    last = Line{to, static_cast<std::uint32_t>(target.used), length, wide};
    target.used += oldBytes + addedBytes;
}

void TextLines::widenLast(std::size_t added) {
    Line& last = lines_.back();
    const std::size_t length = last.length;
    const std::size_t needed = (length + added) * sizeof(char16_t);
    Block& block = blocks_[last.block];
    if (!block.shared) {
        // Widened in place, in a block grown to hold what is coming too.
        if (block.capacity < needed) {
            block.capacity = std::max(needed, block.capacity * 2);
            block.data.reset(allocateBytes(block.data.release(), block.capacity));
        }
        widen(reinterpret_cast<char16_t*>(block.data.get()), block.data.get(), length);
        block.used = length * sizeof(char16_t);
        last.wide = true;
        return;
    }
    const std::uint32_t to = roomFor(needed, true);
    Block& from = blocks_[last.block];
    Block& target = blocks_[to];
    widen(reinterpret_cast<char16_t*>(target.data.get() + target.used),
          from.data.get() + last.offset, length);
    // The narrow text's room is given back when it ends its block, as truncate would.
    if (to != last.block && last.offset + length == from.used)
        from.used = last.offset;
    last = Line{to, static_cast<std::uint32_t>(target.used), length, true};
    target.used += length * sizeof(char16_t);
}

void TextLines::truncate(std::size_t count) {
    if (count >= lines_.size())
        return;
    if (count == 0) {
        std::deque<Line>().swap(lines_);
        std::vector<Block>().swap(blocks_);
        std::vector<std::uint32_t>().swap(freeSlots_);
        open_ = kNoBlock;
        nextSharedBytes_ = kFirstSharedBlockBytes;
        return;
    }
    // Lines go from the last: a long line's own block is freed, the room a line leaves at
    // the end of a shared block is written again, and a shared block left empty is freed
    // (but the one being filled), so that output which grows and shrinks again and again
    // holds no more than at its longest.
    while (lines_.size() > count) {
        const Line line = lines_.back();
        lines_.pop_back();
        Block& block = blocks_[line.block];
        if (!block.data)
            continue; // an empty line's block, freed with an earlier line
        if (!block.shared) {
            freeBlock(line.block);
        } else if (line.offset + bytesOf(line.length, line.wide) == block.used) {
            block.used = line.offset;
            if (block.used == 0 && line.block != open_)
                freeBlock(line.block);
        }
    }
}

std::shared_ptr<TextLines> TextLines::copy(std::size_t count) const {
    auto lines = std::make_shared<TextLines>();
    const std::size_t n = std::min(count, lines_.size());
    for (std::size_t i = 0; i < n; ++i) {
        const CharsView line = text(i);
        if (line.isWide())
            lines->appendLine(QStringView(line.wide().data(), static_cast<qsizetype>(line.size())));
        else
            lines->appendLine(
                QLatin1StringView(line.narrow().data(), static_cast<qsizetype>(line.size())));
    }
    return lines;
}

} // namespace tracewin
