#pragma once

#include "panekit/abstractmodel.h"

namespace panekit {

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

private:
    std::unique_ptr<ModelSupport> ms_;
};

} // namespace panekit
