#include "panekit/partsfactory.h"

#include "panekit/abstractmodel.h"
#include "panekit/tool.h"

namespace panekit {

void PartsFactory::registerTool(const QString& className, ToolMaker maker) {
    tools_.insert(className, std::move(maker));
}

void PartsFactory::registerModel(const QString& className, ModelMaker maker) {
    models_.insert(className, std::move(maker));
}

std::unique_ptr<Tool> PartsFactory::createTool(const QString& className) const {
    const auto it = tools_.constFind(className);
    return it == tools_.constEnd() ? nullptr : (*it)();
}

std::unique_ptr<AbstractModel> PartsFactory::createModel(const QString& className) const {
    const auto it = models_.constFind(className);
    return it == models_.constEnd() ? nullptr : (*it)();
}

} // namespace panekit
