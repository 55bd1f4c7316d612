#include "core/htmltagerrors.h"

#include <algorithm>

namespace tracewin {
namespace {

// The flag byte: which parts of an error are told by the one before, and the index of its
// text when that is small (a page's errors have a few wordings).
constexpr std::uint8_t kSameStartLine = 1; // as the error before
constexpr std::uint8_t kOneLine = 2;       // it ends on the line it starts
constexpr std::uint8_t kSameMessage = 4;   // as the error before
constexpr int kMessageShift = 3;           // the high bits: the text's index + 1, or 0
constexpr std::uint32_t kMessagesInFlags = (0xffu >> kMessageShift) - 1;

// Signed differences as unsigned numbers small in magnitude: 0, -1, 1, -2, 2...
std::uint64_t zigzag(std::int64_t n) {
    return (static_cast<std::uint64_t>(n) << 1) ^ static_cast<std::uint64_t>(n >> 63);
}
std::int64_t unzigzag(std::uint64_t n) {
    return static_cast<std::int64_t>(n >> 1) ^ -static_cast<std::int64_t>(n & 1);
}

// Seven bits a byte, the high bit set on all but the last.
std::uint8_t* putNumber(std::uint8_t* out, std::uint64_t n) {
    while (n >= 0x80) {
        *out++ = static_cast<std::uint8_t>(n | 0x80);
        n >>= 7;
    }
    *out++ = static_cast<std::uint8_t>(n);
    return out;
}
std::uint64_t getNumber(const std::uint8_t*& in) {
    std::uint64_t n = 0;
    for (int shift = 0;; shift += 7) {
        const std::uint8_t byte = *in++;
        n |= static_cast<std::uint64_t>(byte & 0x7f) << shift;
        if (!(byte & 0x80))
            return n;
    }
}

std::int64_t difference(int a, int b) {
    return static_cast<std::int64_t>(a) - static_cast<std::int64_t>(b);
}
int sum(int base, std::int64_t delta) {
    return static_cast<int>(static_cast<std::int64_t>(base) + delta);
}

} // namespace

std::uint32_t HtmlTagErrorList::messageIndex(const std::string& message) {
    const auto [at, added] =
        indexOf_.try_emplace(&message, static_cast<std::uint32_t>(messages_.size()));
    if (added)
        messages_.push_back(&message);
    return at->second;
}

void HtmlTagErrorList::emplace_back(const HtmlTagPosition& pos, const std::string& message) {
    if (chunks_.empty() || chunks_.back().capacity - chunks_.back().used < kMostBytesOfOne) {
        // Chunks grow from small (most pages have no error or a few) to a bound.
        const std::size_t capacity =
            chunks_.empty()
                ? kFirstChunkBytes
                : std::min<std::size_t>(2 * chunks_.back().capacity, kLargestChunkBytes);
        chunks_.emplace_back(static_cast<std::uint32_t>(capacity));
    }
    Chunk& chunk = chunks_.back();
    if (count_ % kStride == 0)
        checkpoints_.push_back(
            Checkpoint{Place{static_cast<std::uint32_t>(chunks_.size() - 1), chunk.used}, last_});

    // Errors come in runs of one wording: the index is looked up only when it changes.
    const bool sameText = count_ > 0 && messages_[last_.message] == &message;
    const Decoded error{pos, sameText ? last_.message : messageIndex(message)};
    std::uint8_t flags = 0;
    if (count_ > 0 && error.pos.startLine == last_.pos.startLine)
        flags |= kSameStartLine;
    if (error.pos.endLine == error.pos.startLine)
        flags |= kOneLine;
    if (count_ > 0 && error.message == last_.message)
        flags |= kSameMessage;
    else if (error.message < kMessagesInFlags)
        flags |= static_cast<std::uint8_t>((error.message + 1) << kMessageShift);

    std::uint8_t* out = chunk.bytes.get() + chunk.used;
    *out++ = flags;
    if (!(flags & kSameStartLine))
        out = putNumber(out, zigzag(difference(error.pos.startLine, last_.pos.startLine)));
    out = putNumber(out, zigzag(difference(error.pos.startPos,
                                           flags & kSameStartLine ? last_.pos.startPos : 0)));
    if (!(flags & kOneLine))
        out = putNumber(out, zigzag(difference(error.pos.endLine, error.pos.startLine)));
    out = putNumber(
        out, zigzag(difference(error.pos.endPos, flags & kOneLine ? error.pos.startPos : 0)));
    if (!(flags & kSameMessage) && (flags >> kMessageShift) == 0)
        out = putNumber(out, error.message);
    chunk.used = static_cast<std::uint32_t>(out - chunk.bytes.get());
    if (count_ == 0)
        first_ = error;
    last_ = error;
    ++count_;
}

HtmlTagErrorList::Decoded HtmlTagErrorList::decode(Place& at, const Decoded& before) const {
    if (at.offset == chunks_[at.chunk].used)
        at = Place{at.chunk + 1, 0};
    const std::uint8_t* const start = chunks_[at.chunk].bytes.get() + at.offset;
    const std::uint8_t* in = start;
    const std::uint8_t flags = *in++;
    Decoded error;
    HtmlTagPosition& pos = error.pos;
    pos.startLine = flags & kSameStartLine ? before.pos.startLine
                                           : sum(before.pos.startLine, unzigzag(getNumber(in)));
    pos.startPos = sum(flags & kSameStartLine ? before.pos.startPos : 0, unzigzag(getNumber(in)));
    pos.endLine = flags & kOneLine ? pos.startLine : sum(pos.startLine, unzigzag(getNumber(in)));
    pos.endPos = sum(flags & kOneLine ? pos.startPos : 0, unzigzag(getNumber(in)));
    if (flags & kSameMessage)
        error.message = before.message;
    else if (const std::uint32_t inFlags = flags >> kMessageShift; inFlags > 0)
        error.message = inFlags - 1;
    else
        error.message = static_cast<std::uint32_t>(getNumber(in));
    at.offset += static_cast<std::uint32_t>(in - start);
    return error;
}

HtmlTagErrorInfo HtmlTagErrorList::operator[](std::size_t i) const {
    const Checkpoint& checkpoint = checkpoints_[i / kStride];
    Place at = checkpoint.place;
    Decoded error = checkpoint.before;
    for (std::size_t k = i - i % kStride; k <= i; ++k)
        error = decode(at, error);
    return info(error);
}

HtmlTagErrorList::const_iterator HtmlTagErrorList::begin() const {
    return const_iterator(this, 0);
}

HtmlTagErrorList::const_iterator HtmlTagErrorList::end() const {
    return const_iterator(this, count_);
}

void HtmlTagErrorList::clear() {
    chunks_.clear();
    checkpoints_.clear();
    messages_.clear();
    indexOf_.clear();
    count_ = 0;
    first_ = Decoded{};
    last_ = Decoded{};
}

std::size_t HtmlTagErrorList::capacityBytes() const {
    std::size_t bytes = chunks_.capacity() * sizeof(Chunk) +
                        checkpoints_.capacity() * sizeof(Checkpoint) +
                        messages_.capacity() * sizeof(const std::string*) +
                        indexOf_.size() * (sizeof(void*) * 2 + sizeof(std::uint32_t));
    for (const Chunk& chunk : chunks_)
        bytes += chunk.capacity;
    return bytes;
}

HtmlTagErrorList::const_iterator::const_iterator(const HtmlTagErrorList* list, std::size_t index)
    : list_(list), index_(index) {
    if (index_ < list_->count_)
        current_ = list_->decode(next_, current_);
}

HtmlTagErrorList::const_iterator& HtmlTagErrorList::const_iterator::operator++() {
    if (++index_ < list_->count_)
        current_ = list_->decode(next_, current_);
    return *this;
}

} // namespace tracewin
