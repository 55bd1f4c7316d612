#include "panekit/linkevent.h"

#include "panekit/abstractmodel.h"
#include "panekit/browserframe.h"
#include "panekit/tool.h"

#include <QHash>
#include <mutex>

namespace panekit {

LinkEvent::LinkEvent(const Tool* source) : LinkEvent(source, NONE, QString(), std::any()) {}

LinkEvent::LinkEvent(const Tool* source, const QString& name)
    : LinkEvent(source, NONE, name, std::any()) {}

LinkEvent::LinkEvent(const Tool* source, const QString& name, std::any item)
    : LinkEvent(source, NONE, name, std::move(item)) {}

LinkEvent::LinkEvent(const Tool* source, std::int32_t type, const QString& name, std::any item)
    : source_(source), sourceTool_(source), eventType_(type), name_(name), item_(std::move(item)) {}

LinkEvent::LinkEvent(const AbstractModel* source, std::int32_t type, std::any item)
    : source_(source), sourceModel_(source), eventType_(type), item_(std::move(item)) {
    if (source && source->getModelSupport())
        name_ = source->getModelSupport()->getName();
}

LinkEvent::LinkEvent(const BrowserFrame* frame)
    : source_(frame), eventType_(FRAME), name_(QString::fromLatin1(frameEventName)) {}

LinkEvent::LinkEvent(DialogSource dialog, std::int32_t type)
    : source_(dialog.dialog), eventType_(type) {}

LinkEvent::~LinkEvent() = default;

std::size_t LinkEvent::kindIndexOf(const QString& key) {
    static std::mutex mutex;
    static QHash<QString, std::size_t> indices;
    std::lock_guard lock(mutex);
    auto it = indices.constFind(key);
    if (it == indices.constEnd())
        it = indices.insert(key, static_cast<std::size_t>(indices.size()));
    return *it;
}

} // namespace panekit
