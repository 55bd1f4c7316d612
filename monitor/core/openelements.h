#pragma once

#include "core/htmltagposition.h"
#include "core/htmltagtable.h"
#include "text/charsview.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tracewin {

// The HTML elements open at the end of the output, bottom first, as a stack. Their tags'
// texts are kept one after another in one array, a byte a character where the tag fits
// Latin-1 (nearly every tag) and in UTF-16 otherwise: an open element costs its text and
// 16 bytes, not a string object of its own, and the stack view reads the texts where they
// are. A page that leaves a hundred thousand elements open holds little more than their
// tags.
class OpenElements {
public:
    // One open element, its text in UTF-8 (made when asked for).
    struct Entry {
        std::string text; // the tag as written, "<" to ">"
        HtmlType type;
        HtmlTagPosition pos;
    };

    // Walks the elements, giving each as an Entry by value.
    class Iterator {
    public:
        using iterator_concept = std::random_access_iterator_tag;
        using iterator_category = std::input_iterator_tag;
        using value_type = Entry;
        using reference = Entry;
        using difference_type = std::ptrdiff_t;

        Iterator() = default;
        Iterator(const OpenElements* elements, std::size_t index)
            : elements_(elements), index_(index) {}
        Entry operator*() const { return (*elements_)[index_]; }
        Entry operator[](difference_type n) const {
            return (*elements_)[static_cast<std::size_t>(static_cast<difference_type>(index_) + n)];
        }
        Iterator& operator++() { return *this += 1; }
        Iterator operator++(int) {
            Iterator was = *this;
            ++*this;
            return was;
        }
        Iterator& operator--() { return *this -= 1; }
        Iterator operator--(int) {
            Iterator was = *this;
            --*this;
            return was;
        }
        Iterator& operator+=(difference_type n) {
            index_ = static_cast<std::size_t>(static_cast<difference_type>(index_) + n);
            return *this;
        }
        Iterator& operator-=(difference_type n) { return *this += -n; }
        friend Iterator operator+(Iterator it, difference_type n) { return it += n; }
        friend Iterator operator+(difference_type n, Iterator it) { return it += n; }
        friend Iterator operator-(Iterator it, difference_type n) { return it -= n; }
        friend difference_type operator-(const Iterator& a, const Iterator& b) {
            return static_cast<difference_type>(a.index_) - static_cast<difference_type>(b.index_);
        }
        friend bool operator==(const Iterator& a, const Iterator& b) {
            return a.index_ == b.index_;
        }
        friend auto operator<=>(const Iterator& a, const Iterator& b) {
            return a.index_ <=> b.index_;
        }

    private:
        const OpenElements* elements_ = nullptr;
        std::size_t index_ = 0;
    };
    using ReverseIterator = std::reverse_iterator<Iterator>;

    std::size_t size() const { return elements_.size(); }
    bool empty() const { return elements_.empty(); }

    // The tag of the element at a 0-based depth (0 is the outermost), as written; valid
    // until the stack changes.
    CharsView text(std::size_t index) const {
        return textOf(elements_[index], index == 0 ? 0 : elements_[index - 1].textEnd());
    }
    HtmlType type(std::size_t index) const { return elements_[index].type(); }
    HtmlTagPosition pos(std::size_t index) const;
    // The depth of the innermost element below depth `from` and at or above depth `to`
    // whose text passes the test, if any; the elements are walked once, downwards.
    template <class Test>
    std::optional<std::size_t> innermost(std::size_t from, std::size_t to, Test test) const {
        if (from <= to)
            return std::nullopt;
        auto element = elements_.begin() + static_cast<std::ptrdiff_t>(from);
        for (std::size_t depth = from; depth-- > to;) {
            --element;
            const std::size_t start = depth == 0 ? 0 : std::prev(element)->textEnd();
            if (test(textOf(*element, start)))
                return depth;
        }
        return std::nullopt;
    }

    Entry operator[](std::size_t index) const;
    Entry back() const { return (*this)[size() - 1]; }
    Iterator begin() const { return {this, 0}; }
    Iterator end() const { return {this, size()}; }
    ReverseIterator rbegin() const { return ReverseIterator(end()); }
    ReverseIterator rend() const { return ReverseIterator(begin()); }

    // Opens an element; its tag is UTF-8.
    void push(std::string_view tagText, HtmlType type, const HtmlTagPosition& pos);
    void pop();
    // Closes every element and gives their memory back.
    void clear();

private:
    // An element's text starts where the text of the element below it ends, at the next even
    // byte when it is UTF-16; the end is kept in 39 bits, so the texts of all open elements
    // may take half a terabyte.
    struct Element {
        std::uint32_t textEndLow;
        std::uint8_t textEndHigh : 7;
        std::uint8_t wide : 1;
        // The table's levels and end-tag rules are small constants.
        std::int8_t level;
        std::int8_t rule;
        // Whether the position's end is kept in ends_: most tags lie on one line as they
        // are written, and end where their start and their length say.
        bool endKept;
        std::int32_t startLine;
        std::int32_t startPos;

        std::size_t textEnd() const {
            return static_cast<std::size_t>(textEndHigh) << 32 | textEndLow;
        }
        HtmlType type() const { return HtmlType(level, rule); }
    };
    static_assert(sizeof(Element) == 16);

    // The text of an element whose bytes start at `start`.
    CharsView textOf(const Element& element, std::size_t start) const {
        const char* bytes = texts_.data();
        if (!element.wide)
            return CharsView::latin1({bytes + start, element.textEnd() - start});
        start += start % 2;
        return std::u16string_view(reinterpret_cast<const char16_t*>(bytes + start),
                                   (element.textEnd() - start) / 2);
    }

    // Grows by doubling: each character is copied a few times at most.
    std::vector<char> texts_;
    // A tag past ASCII, decoded before it is stored.
    std::vector<char16_t> decoded_;
    // The end line and position of the elements, by depth, whose end does not follow from
    // their start and text (a tag across lines, or written with blanks that its text leaves
    // out).
    std::unordered_map<std::size_t, std::pair<int, int>> ends_;
    // Elements are never moved as the stack grows: a stack of a hundred thousand elements
    // is not copied each time it doubles.
    std::deque<Element> elements_;
};

} // namespace tracewin
