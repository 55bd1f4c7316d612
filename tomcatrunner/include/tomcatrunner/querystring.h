#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tomcatrunner {

// The parameters of a URL's query string ("user=Ann&tag=a&tag=b"), decoded as a servlet
// container decodes them: "+" is a blank, "%XX" a byte (UTF-8 text), a name without "="
// has an empty value. A name that is empty, or that holds a broken escape, is left out with
// its value, as the container leaves it out.
std::vector<std::pair<std::string, std::string>> parseQueryString(std::string_view query);

} // namespace tomcatrunner
