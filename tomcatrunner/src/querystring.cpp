#include "tomcatrunner/querystring.h"

#include <optional>

namespace tomcatrunner {

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::optional<std::string> decode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out += ' ';
        } else if (text[i] == '%') {
            if (i + 2 >= text.size()) {
                return std::nullopt;
            }
            const int high = hexValue(text[i + 1]);
            const int low = hexValue(text[i + 2]);
            if (high < 0 || low < 0) {
                return std::nullopt;
            }
            out += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace

std::vector<std::pair<std::string, std::string>> parseQueryString(std::string_view query) {
    std::vector<std::pair<std::string, std::string>> out;
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        const std::size_t eq = pair.find('=');
        const auto name = decode(pair.substr(0, eq));
        const auto value =
            decode(eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1));
        if (name && value && !name->empty()) {
            out.emplace_back(*name, *value);
        }
    }
    return out;
}

} // namespace tomcatrunner
