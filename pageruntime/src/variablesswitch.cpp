#include "tracehook/variablesswitch.h"

#include "tracehook/properties.h"

#include <sys/stat.h>

namespace tracehook {

VariablesSwitch::VariablesSwitch(std::string settingsPath) : path_(std::move(settingsPath)) {}

bool VariablesSwitch::enabled() {
    struct stat status {};
    if (path_.empty() || ::stat(path_.c_str(), &status) != 0) {
        seen_ = Seen{};
        return enabled_ = false;
    }
    const Seen now{status.st_ino, status.st_dev, status.st_size, status.st_mtim};
    if (now.inode == seen_.inode && now.device == seen_.device && now.size == seen_.size &&
        now.modified.tv_sec == seen_.modified.tv_sec &&
        now.modified.tv_nsec == seen_.modified.tv_nsec)
        return enabled_;
    seen_ = now;
    const std::optional<Properties> settings = Properties::load(path_);
    enabled_ = settings && settings->get(key) == std::optional<std::string>("true");
    return enabled_;
}

} // namespace tracehook
