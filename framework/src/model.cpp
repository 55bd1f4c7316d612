#include "panekit/model.h"

#include "panekit/application.h"

namespace panekit {

Application* Model::getApplication() const {
    return ms_ ? Application::getApplication(ms_->getApplicationKey()) : nullptr;
}

} // namespace panekit
