#pragma once

#include "panekit/modelsupport.h"

#include <memory>

namespace panekit {

// The contract of every model: shared data that lives in the application's model table
// from its first request to the end of the application.
class AbstractModel {
public:
    virtual ~AbstractModel() = default;

    virtual void install() = 0;
    virtual void uninstall() = 0;
    virtual void applicationExiting() = 0;
    virtual ModelSupport* getModelSupport() const = 0;
    virtual void setModelSupport(std::unique_ptr<ModelSupport> support) = 0;
};

} // namespace panekit
