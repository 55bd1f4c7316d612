#pragma once

#include <QHash>
#include <QString>
#include <functional>
#include <memory>

namespace panekit {

class AbstractModel;
class Tool;

// Maps the class names written in a configuration file to constructors of tools and
// models. An application registers its classes once at start-up.
class PartsFactory {
public:
    using ToolMaker = std::function<std::unique_ptr<Tool>()>;
    using ModelMaker = std::function<std::unique_ptr<AbstractModel>()>;

    void registerTool(const QString& className, ToolMaker maker);
    void registerModel(const QString& className, ModelMaker maker);

    template <class T> void registerTool(const QString& className) {
        registerTool(className, [] { return std::unique_ptr<Tool>(std::make_unique<T>()); });
    }
    template <class T> void registerModel(const QString& className) {
        registerModel(className,
                      [] { return std::unique_ptr<AbstractModel>(std::make_unique<T>()); });
    }

    bool hasTool(const QString& className) const { return tools_.contains(className); }
    bool hasModel(const QString& className) const { return models_.contains(className); }

    // Null when the class name is not registered.
    std::unique_ptr<Tool> createTool(const QString& className) const;
    std::unique_ptr<AbstractModel> createModel(const QString& className) const;

private:
    QHash<QString, ToolMaker> tools_;
    QHash<QString, ModelMaker> models_;
};

} // namespace panekit
