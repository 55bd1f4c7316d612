#pragma once

#include "panekit/linkevent.h"

#include <QString>

namespace panekit {

// The framework's half of a model: its name from the configuration, whether it is the
// application's default model, and the key of the application it belongs to. Its events
// reach every frame of that application, and through them every tool.
class ModelSupport {
public:
    ModelSupport(QString name, bool defaultModel, QString appKey)
        : name_(std::move(name)), defaultModel_(defaultModel), appKey_(std::move(appKey)) {}

    QString getName() const { return name_; }
    void setName(const QString& name) { name_ = name; }
    bool isDefault() const { return defaultModel_; }
    void setDefault(bool d) { defaultModel_ = d; }
    QString getApplicationKey() const { return appKey_; }

    // Hands event to every open frame of the application, in registration order (each
    // frame's fireModelEvent). Callable from any thread: the walk runs on the
    // user-interface thread.
    void fireLinkEvent(const LinkEventPtr& event) const;
    void fireLinkEvent(const LinkEvent& event) const { fireLinkEvent(event.makeCopy()); }

private:
    QString name_;
    bool defaultModel_;
    QString appKey_;
};

} // namespace panekit
