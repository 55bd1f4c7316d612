#pragma once

#include <filesystem>
#include <string>
#include <unistd.h>

namespace tomcattest {

// A fresh folder below the system's temporary folder, removed with everything in it.
struct TempDir {
    std::filesystem::path path;

    explicit TempDir(const std::string& prefix = "tomcatrunner-test") {
        std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
        path = ::mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
};

} // namespace tomcattest
