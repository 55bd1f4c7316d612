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
char16_t* mapHugePage() {
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
    return reinterpret_cast<char16_t*>(aligned);
#else
    return nullptr;
#endif
}

char16_t* allocateChars(char16_t* old, std::size_t capacity) {
    const std::size_t bytes = capacity * sizeof(char16_t);
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
    return static_cast<char16_t*>(p);
}

void copyChars(char16_t* to, QStringView from) {
    if (!from.isEmpty())
        std::memcpy(to, from.utf16(), static_cast<std::size_t>(from.size()) * sizeof(char16_t));
}

void copyChars(char16_t* to, QLatin1StringView from) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(from.data());
    for (qsizetype i = 0; i < from.size(); ++i)
        to[i] = bytes[i];
}

} // namespace

void TextLines::BlockDeleter::operator()(char16_t* p) const {
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
    const bool huge = shared && capacity * sizeof(char16_t) == kHugePageBytes &&
                      capacityBytes() >= 2 * kHugePageBytes;
    char16_t* page = huge ? mapHugePage() : nullptr;
    if (page)
        block.data = {page, BlockDeleter{true}};
    else
        block.data.reset(allocateChars(nullptr, std::max<std::size_t>(capacity, 1)));
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
        bytes += block.capacity * sizeof(char16_t);
    return bytes;
}

std::uint32_t TextLines::roomFor(std::size_t length) {
    if (length >= kOwnBlockFrom)
        return newBlock(length + length / 2, false);
    if (open_ < blocks_.size() && blocks_[open_].capacity - blocks_[open_].used >= length)
        return open_;
    const std::size_t capacity = std::max(nextSharedChars_, length);
    nextSharedChars_ = std::min(nextSharedChars_ * 2, kLastSharedBlockChars);
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
    const std::uint32_t index = roomFor(length);
    Block& block = blocks_[index];
    copyChars(block.data.get() + block.used, text);
    lines_.push_back(Line{index, static_cast<std::uint32_t>(block.used), length});
    block.used += length;
}

template <class Text> void TextLines::appendToLastOf(Text text) {
    if (lines_.empty()) {
        appendLine(text);
        return;
    }
    if (text.isEmpty())
        return;
    const auto added = static_cast<std::size_t>(text.size());
    Line& last = lines_.back();
    const std::size_t length = last.length + added;
    Block& block = blocks_[last.block];
    const bool atEnd = last.offset + last.length == block.used;
    if (atEnd && block.capacity - block.used >= added) {
        copyChars(block.data.get() + block.used, text);
        block.used += added;
        last.length = length;
        return;
    }
    if (!block.shared) {
        // A long line's own block grows in place where the allocator can, else it moves.
        block.capacity = std::max(length, block.capacity * 2);
        block.data.reset(allocateChars(block.data.release(), block.capacity));
        copyChars(block.data.get() + last.length, text);
        block.used = length;
        last.length = length;
        return;
    }
    // The line moves to where it has room; the room it leaves is not used again.
    const std::uint32_t to = roomFor(length);
    Block& from = blocks_[last.block];
    Block& target = blocks_[to];
    if (last.length > 0)
        std::memcpy(target.data.get() + target.used, from.data.get() + last.offset,
                    last.length * sizeof(char16_t));
    copyChars(target.data.get() + target.used + last.length, text);
    last = Line{to, static_cast<std::uint32_t>(target.used), length};
    target.used += length;
}

void TextLines::truncate(std::size_t count) {
    if (count >= lines_.size())
        return;
    if (count == 0) {
        std::deque<Line>().swap(lines_);
        std::vector<Block>().swap(blocks_);
        std::vector<std::uint32_t>().swap(freeSlots_);
        open_ = kNoBlock;
        nextSharedChars_ = kFirstSharedBlockChars;
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
        } else if (line.offset + line.length == block.used) {
            block.used = line.offset;
            if (block.used == 0 && line.block != open_)
                freeBlock(line.block);
        }
    }
}

std::shared_ptr<TextLines> TextLines::copy(std::size_t count) const {
    auto lines = std::make_shared<TextLines>();
    const std::size_t n = std::min(count, lines_.size());
    for (std::size_t i = 0; i < n; ++i)
        lines->appendLine(text(i));
    return lines;
}

} // namespace tracewin
