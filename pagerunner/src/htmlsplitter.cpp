#include "pagerunner/htmlsplitter.h"

#include <algorithm>

namespace pagerunner {

std::vector<std::string_view> HtmlSplitter::split(std::string_view html, std::size_t maxBytes) {
    // A piece that held "%%%END" could end the record early, either as part of a whole
    // terminator inside it or together with the terminator that follows it; a piece
    // cut after "%%%EN" cannot.
    constexpr std::string_view danger = "%%%END";
    constexpr std::size_t safeCut = danger.size() - 1;
    maxBytes = std::max<std::size_t>(maxBytes, 4);
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    while (start < html.size()) {
        std::size_t end = std::min(html.size(), start + maxBytes);
        while (end < html.size() && end > start + 1 &&
               (static_cast<unsigned char>(html[end]) & 0xC0) == 0x80)
            --end;
        const std::size_t d = html.find(danger, start);
        if (d != std::string_view::npos && d + safeCut < end)
            end = d + safeCut;
        pieces.push_back(html.substr(start, end - start));
        start = end;
    }
    return pieces;
}

} // namespace pagerunner
