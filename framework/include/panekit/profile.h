#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <utility>
#include <vector>

namespace panekit {

// An ordered key/value table kept in a small text file: a header comment, then one
// "key=value" line per entry, with backslash escapes for line ends, separators and
// leading blanks. Used for the pane-settings profile, the system profile and resource
// bundles. Saving replaces the file whole, so a crash never leaves half a profile.
class Profile {
public:
    Profile() = default;

    // Replaces the content with the file's; false (and the content unchanged) when the
    // file cannot be read.
    bool load(const QString& path);
    bool save(const QString& path, const QString& header) const;

    static Profile parse(const QString& text);
    QString toText(const QString& header) const;

    std::optional<QString> get(const QString& key) const;
    QString value(const QString& key, const QString& fallback = {}) const;
    bool contains(const QString& key) const { return get(key).has_value(); }
    void set(const QString& key, const QString& value);
    bool remove(const QString& key);
    QStringList keys() const;
    bool isEmpty() const { return entries_.empty(); }
    void clear() { entries_.clear(); }

private:
    std::vector<std::pair<QString, QString>> entries_;
};

} // namespace panekit
