#include "tracehook/systemproperties.h"

#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <pwd.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace tracehook {
namespace {

struct Table {
    std::mutex mutex;
    std::map<std::string, std::string, std::less<>> values;
};

Table& table() {
    static Table instance;
    return instance;
}

} // namespace

std::optional<std::string> SystemProperties::get(std::string_view key) {
    Table& t = table();
    std::lock_guard lock(t.mutex);
    auto it = t.values.find(key);
    if (it == t.values.end())
        return std::nullopt;
    return it->second;
}

std::string SystemProperties::value(std::string_view key, std::string_view fallback) {
    return get(key).value_or(std::string(fallback));
}

void SystemProperties::set(std::string_view key, std::string_view value) {
    Table& t = table();
    std::lock_guard lock(t.mutex);
    t.values.insert_or_assign(std::string(key), std::string(value));
}

void SystemProperties::clear(std::string_view key) {
    Table& t = table();
    std::lock_guard lock(t.mutex);
    if (auto it = t.values.find(key); it != t.values.end())
        t.values.erase(it);
}

void SystemProperties::reset() {
    Table& t = table();
    std::lock_guard lock(t.mutex);
    t.values.clear();
}

std::string SystemProperties::homeDirectory() {
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir)
        return pw->pw_dir;
    return {};
}

std::string SystemProperties::programDirectory() {
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return {};
    return exe.parent_path().string();
}

void SystemProperties::initFromProcess() {
    set("user.home", homeDirectory());
    std::error_code ec;
    std::filesystem::path cwd = std::filesystem::current_path(ec);
    set("user.dir", ec ? std::string() : cwd.string());
    utsname names{};
    set("os.name", uname(&names) == 0 ? names.sysname : "Linux");
    if (!get("java.home"))
        set("java.home", programDirectory());
}

} // namespace tracehook
