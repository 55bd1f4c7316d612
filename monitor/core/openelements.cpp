#include "core/openelements.h"

#include "core/asciitext.h"
#include "core/utf16text.h"

#include <algorithm>
#include <cassert>
#include <cstring>

namespace tracewin {

OpenElements::Entry OpenElements::operator[](std::size_t index) const {
    Entry entry{{}, type(index), pos(index)};
    appendUtf8(entry.text, text(index));
    return entry;
}

HtmlTagPosition OpenElements::pos(std::size_t index) const {
    const Element& element = elements_[index];
    if (element.endKept) {
        const auto& [endLine, endPos] = ends_.at(index);
        return {element.startLine, endLine, element.startPos, endPos};
    }
    const auto end =
        std::int64_t{element.startPos} + static_cast<std::int64_t>(text(index).size()) - 1;
    return {element.startLine, element.startLine, element.startPos, static_cast<int>(end)};
}

void OpenElements::push(std::string_view tagText, HtmlType type, const HtmlTagPosition& pos) {
    assert(type.getHtmlLevel() == static_cast<std::int8_t>(type.getHtmlLevel()) &&
           type.getHtmlType() == static_cast<std::int8_t>(type.getHtmlType()));
    bool wide = false;
    if (isAscii(tagText)) {
        texts_.insert(texts_.end(), tagText.begin(), tagText.end());
    } else {
        decoded_.clear();
        appendUtf16(decoded_, tagText);
        wide = std::any_of(decoded_.begin(), decoded_.end(), [](char16_t c) { return c > 0xff; });
        if (!wide) {
            for (const char16_t c : decoded_)
                texts_.push_back(static_cast<char>(c));
        } else {
            const std::size_t start = texts_.size() + texts_.size() % 2;
            const std::size_t bytes = decoded_.size() * sizeof(char16_t);
            texts_.resize(start + bytes);
            std::memcpy(texts_.data() + start, decoded_.data(), bytes);
        }
    }
    const std::size_t end = texts_.size();
    elements_.push_back(
        Element{static_cast<std::uint32_t>(end), static_cast<std::uint8_t>(end >> 32), wide,
                static_cast<std::int8_t>(type.getHtmlLevel()),
                static_cast<std::int8_t>(type.getHtmlType()), false, pos.startLine, pos.startPos});
    const std::size_t depth = elements_.size() - 1;
    if (this->pos(depth) != pos) {
        elements_.back().endKept = true;
        ends_[depth] = {pos.endLine, pos.endPos};
    }
}

void OpenElements::pop() {
    if (elements_.back().endKept)
        ends_.erase(elements_.size() - 1);
    elements_.pop_back();
    texts_.resize(elements_.empty() ? 0 : elements_.back().textEnd());
}

void OpenElements::clear() {
    std::deque<Element>().swap(elements_);
    std::vector<char>().swap(texts_);
    std::vector<char16_t>().swap(decoded_);
    std::unordered_map<std::size_t, std::pair<int, int>>().swap(ends_);
}

} // namespace tracewin
