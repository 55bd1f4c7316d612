#pragma once

#include "core/htmltagposition.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace tracewin {

// One nesting problem found in the HTML output. Its text belongs to the stack that found it
// (errors of the same wording share one: output can hold hundreds of thousands), and lives
// until that stack is cleared or destroyed.
class HtmlTagErrorInfo {
public:
    HtmlTagErrorInfo(HtmlTagPosition pos, const std::string& msg) : errPos(pos), errMsg(&msg) {}
    const HtmlTagPosition& getErrPos() const { return errPos; }
    const std::string& getErrMsg() const { return *errMsg; }

private:
    HtmlTagPosition errPos;
    const std::string* errMsg;
};

// The nesting errors of the output in the order found, packed into a few bytes each.
// Output can hold millions of them (every end tag that closes nothing is one), and kept as
// a position and a text each they took three times the bytes of the output that caused
// them. Each error is written as its difference from the one before: the next error is
// mostly on the same line a few columns on, with the same wording. Every kStride-th error
// has a checkpoint that holds the error before it whole, so any error is read back by
// decoding at most kStride of them. Errors are only added at the end and dropped all at
// once; the texts are not copied, only pointed to, as HtmlTagErrorInfo does.
class HtmlTagErrorList {
public:
    class const_iterator;
    using value_type = HtmlTagErrorInfo;
    using size_type = std::size_t;

    void emplace_back(const HtmlTagPosition& pos, const std::string& message);
    std::size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    // The error at i (i < size()).
    HtmlTagErrorInfo operator[](std::size_t i) const;
    HtmlTagErrorInfo front() const { return info(first_); }
    HtmlTagErrorInfo back() const { return info(last_); }
    const_iterator begin() const;
    const_iterator end() const;
    void clear();
    // The heap bytes the list holds: packed errors, checkpoints and the texts' index.
    std::size_t capacityBytes() const;

private:
    static constexpr std::size_t kStride = 64;
    static constexpr std::size_t kFirstChunkBytes = 256;
    static constexpr std::size_t kLargestChunkBytes = 64 * 1024;
    // The most bytes one error takes: a flag byte, four 10-byte numbers and a 5-byte one.
    static constexpr std::size_t kMostBytesOfOne = 48;

    // An error as decoded: its position and the index of its text.
    struct Decoded {
        HtmlTagPosition pos;
        std::uint32_t message = 0;
    };
    // Where the bytes of one error start.
    struct Place {
        std::uint32_t chunk = 0;
        std::uint32_t offset = 0;
    };
    struct Checkpoint {
        Place place;    // of the error it stands before
        Decoded before; // the error before it (all zero before the first)
    };
    // Bytes that are written once; a copy of the list copies those written.
    struct Chunk {
        explicit Chunk(std::uint32_t size)
            : bytes(std::make_unique_for_overwrite<std::uint8_t[]>(size)), capacity(size) {}
        Chunk(const Chunk& other) : Chunk(other.capacity) {
            std::copy_n(other.bytes.get(), other.used, bytes.get());
            used = other.used;
        }
        Chunk& operator=(const Chunk& other) {
            *this = Chunk(other);
            return *this;
        }
        Chunk(Chunk&&) noexcept = default;
        Chunk& operator=(Chunk&&) noexcept = default;

        std::unique_ptr<std::uint8_t[]> bytes;
        std::uint32_t capacity = 0;
        std::uint32_t used = 0;
    };

    std::uint32_t messageIndex(const std::string& message);
    HtmlTagErrorInfo info(const Decoded& error) const {
        return HtmlTagErrorInfo(error.pos, *messages_[error.message]);
    }
    // Decodes the error at `at` following `before`, and moves `at` past it.
    Decoded decode(Place& at, const Decoded& before) const;

    std::vector<Chunk> chunks_;
    std::vector<Checkpoint> checkpoints_;
    std::vector<const std::string*> messages_;
    std::unordered_map<const std::string*, std::uint32_t> indexOf_;
    std::size_t count_ = 0;
    Decoded first_; // the stack marks the first error after every tag
    Decoded last_;
};

// Reads the errors in order, each decoded from the one before.
class HtmlTagErrorList::const_iterator {
public:
    using iterator_category = std::input_iterator_tag;
    using value_type = HtmlTagErrorInfo;
    using difference_type = std::ptrdiff_t;
    using reference = HtmlTagErrorInfo;
    using pointer = void;

    const_iterator() = default;
    HtmlTagErrorInfo operator*() const { return list_->info(current_); }
    const_iterator& operator++();
    const_iterator operator++(int) {
        const_iterator was = *this;
        ++*this;
        return was;
    }
    friend bool operator==(const const_iterator& a, const const_iterator& b) {
        return a.index_ == b.index_;
    }

private:
    friend class HtmlTagErrorList;
    const_iterator(const HtmlTagErrorList* list, std::size_t index);

    const HtmlTagErrorList* list_ = nullptr;
    std::size_t index_ = 0;
    Place next_;
    Decoded current_;
};

} // namespace tracewin
