#include "core/openelements.h"

#include "core/utf16text.h"

#include <cassert>

namespace tracewin {

OpenElements::Entry OpenElements::operator[](std::size_t index) const {
    Entry entry{{}, type(index), pos(index)};
    appendUtf8(entry.text, text(index));
    return entry;
}

void OpenElements::push(std::string_view tagText, HtmlType type, const HtmlTagPosition& pos) {
    assert(type.getHtmlLevel() == static_cast<std::int8_t>(type.getHtmlLevel()) &&
           type.getHtmlType() == static_cast<std::int8_t>(type.getHtmlType()));
    appendUtf16(texts_, tagText);
    const std::size_t end = texts_.size();
    elements_.push_back(Element{static_cast<std::uint32_t>(end),
                                static_cast<std::uint8_t>(end >> 32),
                                static_cast<std::int8_t>(type.getHtmlLevel()),
                                static_cast<std::int8_t>(type.getHtmlType()), pos});
}

void OpenElements::pop() {
    elements_.pop_back();
    texts_.resize(elements_.empty() ? 0 : elements_.back().textEnd());
}

void OpenElements::clear() {
    std::deque<Element>().swap(elements_);
    std::vector<char16_t>().swap(texts_);
}

} // namespace tracewin
