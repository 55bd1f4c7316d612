#pragma once

#include "panekit/profile.h"

#include <QString>
#include <memory>
#include <optional>

namespace panekit {

// The user-visible texts of an application, looked up by key.
class ResourceBundle {
public:
    virtual ~ResourceBundle() = default;
    virtual QString getName() const = 0;
    virtual std::optional<QString> getString(const QString& key) const = 0;
};

// A bundle read from a "<name>.properties" file.
class PropertiesResourceBundle final : public ResourceBundle {
public:
    PropertiesResourceBundle(QString name, Profile entries)
        : name_(std::move(name)), entries_(std::move(entries)) {}

    // The first "<name>.properties" found in the directories, in order; null if none.
    static std::unique_ptr<PropertiesResourceBundle> find(const QString& name,
                                                          const QStringList& directories);

    QString getName() const override { return name_; }
    std::optional<QString> getString(const QString& key) const override {
        return entries_.get(key);
    }

private:
    QString name_;
    Profile entries_;
};

} // namespace panekit
