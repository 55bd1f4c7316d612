#pragma once

#include <string>
#include <string_view>

namespace tracehook {

// Replaces a file's contents whole: the bytes go to a temporary file in the same
// directory, which is flushed to disk and renamed over the old file, so a crash or a
// full disk never leaves a truncated or empty file behind.
class AtomicFile {
public:
    // Returns an empty string on success, else a short description of what failed.
    static std::string write(const std::string& path, std::string_view bytes);
    // Makes the file with these bytes, whole in the same way, unless a file of that name
    // exists: then nothing changes and the result says so.
    static std::string create(const std::string& path, std::string_view bytes);
};

} // namespace tracehook
