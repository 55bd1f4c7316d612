#pragma once

#include <QString>

namespace panekit {

// The framework's half of a model: its name from the configuration, whether it is the
// application's default model, and the key of the application it belongs to.
class ModelSupport {
public:
    ModelSupport(QString name, bool defaultModel, QString appKey)
        : name_(std::move(name)), defaultModel_(defaultModel), appKey_(std::move(appKey)) {}

    QString getName() const { return name_; }
    void setName(const QString& name) { name_ = name; }
    bool isDefault() const { return defaultModel_; }
    void setDefault(bool d) { defaultModel_ = d; }
    QString getApplicationKey() const { return appKey_; }

private:
    QString name_;
    bool defaultModel_;
    QString appKey_;
};

} // namespace panekit
