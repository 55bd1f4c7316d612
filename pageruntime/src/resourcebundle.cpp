#include "tracehook/resourcebundle.h"

#include "tracehook/classpath.h"

#include <cstdlib>
#include <mutex>

namespace tracehook {
namespace {
std::mutex localeMutex;
std::optional<std::string>& localeOverride() {
    static std::optional<std::string> value;
    return value;
}

std::string localeFromEnvironment() {
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* v = std::getenv(var);
        if (!v || !*v)
            continue;
        std::string name(v);
        // "de_CH.UTF-8@euro" -> "de_CH"
        name = name.substr(0, name.find_first_of(".@"));
        if (name == "C" || name == "POSIX")
            return {};
        return name;
    }
    return {};
}
} // namespace

std::string ResourceBundle::defaultLocale() {
    std::lock_guard lock(localeMutex);
    if (localeOverride())
        return *localeOverride();
    return localeFromEnvironment();
}

void ResourceBundle::setDefaultLocale(std::optional<std::string> locale) {
    std::lock_guard lock(localeMutex);
    localeOverride() = std::move(locale);
}

std::vector<std::string> ResourceBundle::candidateSuffixes(std::string_view locale) {
    std::vector<std::string> out;
    std::string current(locale);
    while (!current.empty()) {
        out.push_back("_" + current);
        std::size_t cut = current.find_last_of('_');
        if (cut == std::string::npos)
            break;
        current.resize(cut);
    }
    out.emplace_back();
    return out;
}

std::optional<ResourceBundle> ResourceBundle::fromClassPath(std::string_view baseName,
                                                            std::string_view locale) {
    std::string path(baseName);
    for (char& c : path) {
        if (c == '.')
            c = '/';
    }
    ResourceBundle bundle;
    for (const std::string& suffix : candidateSuffixes(locale)) {
        std::optional<std::string> file = ClassPath::find(path + suffix + ".properties");
        if (!file)
            continue;
        if (std::optional<Properties> props = Properties::load(*file)) {
            bundle.addLevel(std::move(*props));
        }
    }
    if (bundle.empty())
        return std::nullopt;
    return bundle;
}

std::optional<std::string> ResourceBundle::get(std::string_view key) const {
    for (const Properties& level : levels_) {
        if (std::optional<std::string> v = level.get(key))
            return v;
    }
    return std::nullopt;
}

} // namespace tracehook
