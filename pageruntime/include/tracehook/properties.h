#pragma once

#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tracehook {

// An ordered set of key/value pairs in the Java properties file syntax: "key=value",
// "key:value" or "key value", "#" and "!" comment lines, backslash escapes ("\t", "\n",
// "\uXXXX" as UTF-8) and lines continued by a trailing backslash. Every settings file,
// label bundle and message file of the system goes through this one reader and writer.
class Properties {
public:
    using Entry = std::pair<std::string, std::string>;

    Properties() = default;

    // Parses text; later duplicates of a key replace the earlier value in place.
    static Properties parse(std::string_view text);
    // Reads a whole file. Returns nullopt when the file cannot be opened.
    static std::optional<Properties> load(const std::string& path);

    std::optional<std::string> get(std::string_view key) const;
    std::string value(std::string_view key, std::string_view fallback = {}) const;
    bool contains(std::string_view key) const { return find(key) != nullptr; }
    void set(std::string key, std::string value);
    bool remove(std::string_view key);

    const std::vector<Entry>& entries() const { return entries_; }
    bool empty() const { return entries_.empty(); }
    std::size_t size() const { return entries_.size(); }

    // "key=value" lines in insertion order, escaped so that parse() reads them back.
    std::string toText() const;

    static std::string escapeKey(std::string_view key);
    static std::string escapeValue(std::string_view value);

private:
    const Entry* find(std::string_view key) const;

    std::vector<Entry> entries_;
};

} // namespace tracehook
