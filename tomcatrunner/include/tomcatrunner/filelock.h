#pragma once

#include <filesystem>
#include <optional>

namespace tomcatrunner {

// An exclusive flock(2) on a file, held while this object lives. The lock belongs to the
// open file, not to the process: a child that inherits the descriptor shares it, and it
// ends when the last copy is closed, whoever dies last. So this object lets it go by
// closing its descriptor, never by unlocking, which would end the children's copies too.
class FileLock {
public:
    // Takes the lock if no one holds it, creating the file when missing. Throws
    // std::system_error when the file cannot be opened.
    static std::optional<FileLock> tryLock(const std::filesystem::path& file);
    // Whether some open file holds the lock (this process's own ones too); false when the
    // file is missing.
    static bool isHeld(const std::filesystem::path& file);

    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&& other) noexcept;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock();

    // The descriptor (close-on-exec), for a child to inherit.
    int fd() const { return fd_; }

private:
    explicit FileLock(int fd) : fd_(fd) {}

    int fd_ = -1;
};

} // namespace tomcatrunner
