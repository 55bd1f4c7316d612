#include "core/settingsfilecache.h"

#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <unordered_map>

namespace tracewin {
namespace {

struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};

    static std::optional<FileIdentity> of(const std::string& path) {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            return std::nullopt;
        return FileIdentity{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
    }
    bool operator==(const FileIdentity& o) const {
        return device == o.device && inode == o.inode && size == o.size &&
               modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec &&
               changed.tv_sec == o.changed.tv_sec && changed.tv_nsec == o.changed.tv_nsec;
    }
};

struct Entry {
    FileIdentity identity;
    std::shared_ptr<const tracehook::Properties> properties;
};

std::mutex cacheMutex;
std::unordered_map<std::string, Entry>& cache() {
    static std::unordered_map<std::string, Entry> entries;
    return entries;
}

} // namespace

std::shared_ptr<const tracehook::Properties> SettingsFileCache::load(const std::string& path) {
    const std::optional<FileIdentity> before = FileIdentity::of(path);
    std::lock_guard lock(cacheMutex);
    if (!before) {
        cache().erase(path);
        return nullptr;
    }
    if (auto it = cache().find(path); it != cache().end() && it->second.identity == *before)
        return it->second.properties;
    std::optional<tracehook::Properties> loaded = tracehook::Properties::load(path);
    if (!loaded) {
        cache().erase(path);
        return nullptr;
    }
    auto properties = std::make_shared<const tracehook::Properties>(std::move(*loaded));
    // A file changed while it was read is read again next time.
    if (FileIdentity::of(path) == before)
        cache()[path] = Entry{*before, properties};
    else
        cache().erase(path);
    return properties;
}

void SettingsFileCache::clear() {
    std::lock_guard lock(cacheMutex);
    cache().clear();
}

} // namespace tracewin
