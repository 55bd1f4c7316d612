#include "core/openelements.h"

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <algorithm>
#include <cassert>

namespace tracewin {

// Tags are almost always ASCII: those are copied unit by unit in one pass, and only other
// text is decoded or encoded.
void appendUtf16(std::vector<char16_t>& out, std::string_view utf8) {
    const std::size_t at = out.size();
    out.resize(at + utf8.size());
    unsigned char any = 0;
    std::transform(utf8.begin(), utf8.end(), out.begin() + static_cast<std::ptrdiff_t>(at),
                   [&any](char c) {
                       any |= static_cast<unsigned char>(c);
                       return static_cast<char16_t>(static_cast<unsigned char>(c));
                   });
    if (any < 0x80)
        return;
    out.resize(at);
    const QString decoded = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    const auto* units = reinterpret_cast<const char16_t*>(decoded.utf16());
    out.insert(out.end(), units, units + decoded.size());
}

void assignUtf8(std::string& out, std::u16string_view utf16) {
    out.resize(utf16.size());
    char16_t any = 0;
    std::transform(utf16.begin(), utf16.end(), out.begin(), [&any](char16_t c) {
        any |= c;
        return static_cast<char>(c);
    });
    if (any < 0x80)
        return;
    const QByteArray encoded =
        QStringView(utf16.data(), static_cast<qsizetype>(utf16.size())).toUtf8();
    out.assign(encoded.constData(), static_cast<std::size_t>(encoded.size()));
}

OpenElements::Entry OpenElements::operator[](std::size_t index) const {
    Entry entry{{}, type(index), pos(index)};
    assignUtf8(entry.text, text(index));
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
