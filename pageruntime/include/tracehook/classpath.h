#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tracehook {

// The ordered list of resource directories of the install. A resource such as
// "com/zet/kwo/jsp/ui/default.properties" is looked up as a file in each directory in
// turn. Process-wide and thread-safe; set at start-up, replaced by tests.
class ClassPath {
public:
    static void setDirectories(std::vector<std::string> directories);
    static std::vector<std::string> directories();
    // The first existing regular file for the resource name, or nullopt.
    static std::optional<std::string> find(std::string_view resourceName);
};

} // namespace tracehook
