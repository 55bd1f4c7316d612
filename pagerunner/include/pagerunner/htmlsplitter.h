#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace pagerunner {

// Cuts the HTML a page produced into pieces that can each travel as one "%H" record:
// none longer than a bound (so that neither side holds a huge record), none cut inside
// a UTF-8 character, and none that would let the monitor see the record terminator
// "%%%END%%%" early. The pieces joined give the HTML back.
class HtmlSplitter {
public:
    static constexpr std::size_t defaultMaxBytes = 1024 * 1024;

    static std::vector<std::string_view> split(std::string_view html,
                                               std::size_t maxBytes = defaultMaxBytes);
};

} // namespace pagerunner
