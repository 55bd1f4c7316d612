#pragma once

#include "panekit/linkevent.h"

#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>

namespace panekit {

class BrowserFrame;
class Tool;

// The ordered list of the open frames of the process, and the identifiers they hold.
class BrowserFrameManager {
public:
    static BrowserFrameManager& getManager();

    // Registers a shown frame; a frame whose identifier another open frame holds gets the
    // identifier with "#2", "#3", ... appended.
    void addBrowserFrame(BrowserFrame* frame);
    // Deregisters the frame and releases its identifier.
    void removeBrowserFrame(BrowserFrame* frame);
    bool contains(const BrowserFrame* frame) const;
    int getFrameCount() const;
    QList<BrowserFrame*> getAllFrames() const;
    BrowserFrame* findFrame(const QString& id) const;
    // Asks every frame to close, last opened first, through the usual closing walk.
    void closeAllFrames();
    void applyToAllTools(const std::function<void(Tool&)>& apply);
    // To the frame with that identifier (its context's input tool), or to the tool of that
    // name in it (under the event's kind and generically). Nothing for an unknown frame.
    void fireLinkEvent(const QString& frameId, const LinkEventPtr& event);
    void fireLinkEvent(const QString& frameId, const QString& toolName, const LinkEventPtr& event);

private:
    BrowserFrameManager() = default;
    void prune();

    QList<QPointer<BrowserFrame>> frames_;
};

} // namespace panekit
