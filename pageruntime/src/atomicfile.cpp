#include "tracehook/atomicfile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace tracehook {
namespace {

std::string errorText(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Writes the bytes to a new temporary file beside path, flushed to disk, and hands its
// name to put, which moves it into place and returns false on failure (errno set). The
// temporary file never stays behind.
template <class Put>
std::string writeAside(const std::string& path, std::string_view bytes, const char* putFailure,
                       Put put) {
    std::filesystem::path target(path);
    std::filesystem::path dir = target.parent_path();
    std::string pattern = (dir.empty() ? std::filesystem::path(".") : dir).string() + "/." +
                          target.filename().string() + ".XXXXXX";
    std::string tmp = pattern;
    int fd = ::mkstemp(tmp.data());
    if (fd < 0)
        return errorText("cannot create a temporary file");
    // mkstemp creates the file 0600; keep the mode of the file being replaced, or make
    // the new file readable like any other settings file.
    struct stat old {};
    ::fchmod(fd, ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644);
    if (!writeAll(fd, bytes) || ::fsync(fd) != 0) {
        std::string err = errorText("cannot write");
        ::close(fd);
        ::unlink(tmp.c_str());
        return err;
    }
    if (::close(fd) != 0) {
        std::string err = errorText("cannot close");
        ::unlink(tmp.c_str());
        return err;
    }
    if (!put(tmp)) {
        std::string err = errorText(putFailure);
        ::unlink(tmp.c_str());
        return err;
    }
    return {};
}

} // namespace

std::string AtomicFile::write(const std::string& path, std::string_view bytes) {
    return writeAside(path, bytes, "cannot rename", [&](const std::string& tmp) {
        return ::rename(tmp.c_str(), path.c_str()) == 0;
    });
}

std::string AtomicFile::create(const std::string& path, std::string_view bytes) {
    // A link fails when the name exists, where a rename would replace the file.
    return writeAside(path, bytes, "cannot create", [&](const std::string& tmp) {
        const bool linked = ::link(tmp.c_str(), path.c_str()) == 0;
        const int saved = errno;
        ::unlink(tmp.c_str());
        errno = saved;
        return linked;
    });
}

} // namespace tracehook
