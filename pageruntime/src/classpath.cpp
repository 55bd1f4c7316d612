#include "tracehook/classpath.h"

#include <filesystem>
#include <mutex>

namespace tracehook {
namespace {
std::mutex pathMutex;
std::vector<std::string>& pathList() {
    static std::vector<std::string> list;
    return list;
}
} // namespace

void ClassPath::setDirectories(std::vector<std::string> directories) {
    std::lock_guard lock(pathMutex);
    pathList() = std::move(directories);
}

std::vector<std::string> ClassPath::directories() {
    std::lock_guard lock(pathMutex);
    return pathList();
}

std::optional<std::string> ClassPath::find(std::string_view resourceName) {
    while (!resourceName.empty() && resourceName.front() == '/')
        resourceName.remove_prefix(1);
    if (resourceName.empty())
        return std::nullopt;
    for (const std::string& dir : directories()) {
        std::filesystem::path candidate = std::filesystem::path(dir) / resourceName;
        std::error_code ec;
        if (std::filesystem::is_regular_file(candidate, ec))
            return candidate.string();
    }
    return std::nullopt;
}

} // namespace tracehook
