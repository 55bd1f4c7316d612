#include "panekit/browserframemanager.h"

#include "panekit/browserframe.h"
#include "panekit/tool.h"

#include <algorithm>

namespace panekit {

BrowserFrameManager& BrowserFrameManager::getManager() {
    static BrowserFrameManager manager;
    return manager;
}

void BrowserFrameManager::prune() {
    frames_.removeIf([](const QPointer<BrowserFrame>& f) { return f.isNull(); });
}

void BrowserFrameManager::addBrowserFrame(BrowserFrame* frame) {
    prune();
    if (!frame || contains(frame))
        return;
    const QString wanted = frame->getID();
    QString id = wanted;
    for (int n = 2; findFrame(id); ++n)
        id = wanted + u'#' + QString::number(n);
    frame->setID(id);
    frames_.append(frame);
}

void BrowserFrameManager::removeBrowserFrame(BrowserFrame* frame) {
    frames_.removeIf([frame](const QPointer<BrowserFrame>& f) { return f.isNull() || f == frame; });
}

bool BrowserFrameManager::contains(const BrowserFrame* frame) const {
    return std::any_of(frames_.begin(), frames_.end(),
                       [frame](const QPointer<BrowserFrame>& f) { return f == frame; });
}

int BrowserFrameManager::getFrameCount() const {
    return static_cast<int>(
        std::count_if(frames_.begin(), frames_.end(),
                      [](const QPointer<BrowserFrame>& f) { return !f.isNull(); }));
}

QList<BrowserFrame*> BrowserFrameManager::getAllFrames() const {
    QList<BrowserFrame*> all;
    for (const auto& f : frames_)
        if (f)
            all.append(f);
    return all;
}

BrowserFrame* BrowserFrameManager::findFrame(const QString& id) const {
    for (const auto& f : frames_)
        if (f && f->getID() == id)
            return f;
    return nullptr;
}

void BrowserFrameManager::closeAllFrames() {
    QList<BrowserFrame*> all = getAllFrames();
    std::reverse(all.begin(), all.end());
    for (BrowserFrame* frame : all) {
        if (!frame->close())
            return; // a tool vetoed: the rest stay open
    }
}

void BrowserFrameManager::applyToAllTools(const std::function<void(Tool&)>& apply) {
    for (BrowserFrame* frame : getAllFrames())
        frame->applyToAllTools(apply);
}

void BrowserFrameManager::fireLinkEvent(const QString& frameId, const LinkEventPtr& event) {
    if (BrowserFrame* frame = findFrame(frameId))
        frame->fireLinkEvent(event);
}

void BrowserFrameManager::fireLinkEvent(const QString& frameId, const QString& toolName,
                                        const LinkEventPtr& event) {
    BrowserFrame* frame = findFrame(frameId);
    if (!frame || !event)
        return;
    Tool* target = nullptr;
    frame->applyToAllTools([&](Tool& tool) {
        if (!target && tool.getName() == toolName)
            target = &tool;
    });
    if (target) {
        target->linkChanged(event);
        target->linkChangedGeneric(event);
    }
}

} // namespace panekit
