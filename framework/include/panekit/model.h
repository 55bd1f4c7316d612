#pragma once

#include "panekit/abstractmodel.h"
#include "panekit/linkevent.h"

namespace panekit {

class Application;

// A ready-made model that keeps its support and does nothing on the lifecycle calls.
class Model : public AbstractModel {
public:
    void install() override {}
    void uninstall() override {}
    void applicationExiting() override {}
    ModelSupport* getModelSupport() const override { return ms_.get(); }
    void setModelSupport(std::unique_ptr<ModelSupport> support) override {
        ms_ = std::move(support);
    }

    QString getName() const { return ms_ ? ms_->getName() : QString(); }
    bool isDefault() const { return ms_ && ms_->isDefault(); }
    // The application this model belongs to (null before the framework gave it support).
    Application* getApplication() const;
    // To every tool of every frame of the application (see ModelSupport).
    void fireLinkEvent(const LinkEventPtr& event) const {
        if (ms_)
            ms_->fireLinkEvent(event);
    }
    void fireLinkEvent(const LinkEvent& event) const { fireLinkEvent(event.makeCopy()); }

private:
    std::unique_ptr<ModelSupport> ms_;
};

} // namespace panekit
