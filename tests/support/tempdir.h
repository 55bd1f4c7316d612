#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace testsupport {

// A fresh directory below the system's temporary folder, removed with everything in it
// when the object goes.
class TempDir {
public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "tracewin-test-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("cannot create a temporary directory");
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string str() const { return path_.string(); }

    // Writes a file below the directory, creating its folders; returns its full path.
    std::string write(const std::string& relative, const std::string& bytes) const {
        std::filesystem::path p = path_ / relative;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream out(p, std::ios::binary);
        out << bytes;
        return p.string();
    }

private:
    std::filesystem::path path_;
};

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The settings as the user set them: without the key the monitor writes for the runtimes
// while its Variables view shows.
inline std::string withoutVariablesKey(const std::string& settings) {
    std::string out;
    std::size_t from = 0;
    while (from < settings.size()) {
        std::size_t end = settings.find('\n', from);
        end = end == std::string::npos ? settings.size() : end + 1;
        if (settings.compare(from, 14, "SendVariables=") != 0)
            out += settings.substr(from, end - from);
        from = end;
    }
    return out;
}

} // namespace testsupport
