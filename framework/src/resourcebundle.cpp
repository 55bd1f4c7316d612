#include "panekit/resourcebundle.h"

#include <QDir>

namespace panekit {

std::unique_ptr<PropertiesResourceBundle>
PropertiesResourceBundle::find(const QString& name, const QStringList& directories) {
    for (const QString& dir : directories) {
        if (dir.isEmpty())
            continue;
        Profile entries;
        if (entries.load(QDir(dir).filePath(name + QStringLiteral(".properties"))))
            return std::make_unique<PropertiesResourceBundle>(name, std::move(entries));
    }
    return nullptr;
}

} // namespace panekit
