#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <sys/stat.h>

namespace tracehook::detail {

// What identifies one written version of a file. Files of this library are replaced by
// rename, so every write gives a new inode as well as a new time and, often, a new size:
// comparing all of them notices a rewrite even within one tick of the file-system clock.
struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedNanos = 0;
    std::int64_t changedNanos = 0;

    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

inline std::int64_t toNanos(const timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 +
           static_cast<std::int64_t>(t.tv_nsec);
}

inline std::optional<FileStamp> fileStamp(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return FileStamp{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
                     static_cast<std::int64_t>(st.st_size), toNanos(st.st_mtim),
                     toNanos(st.st_ctim)};
}

// The last-modified time in milliseconds since the epoch, or nullopt when it cannot be read.
inline std::optional<std::int64_t> modifiedMillis(const std::string& path) {
    std::optional<FileStamp> stamp = fileStamp(path);
    if (!stamp)
        return std::nullopt;
    // Floor division, so that times before the epoch stay in their millisecond.
    std::int64_t ns = stamp->modifiedNanos;
    return ns >= 0 ? ns / 1'000'000 : -((-ns + 999'999) / 1'000'000);
}

} // namespace tracehook::detail
