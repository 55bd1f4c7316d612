#pragma once

#include "panekit/linkevent.h"

#include <QMainWindow>
#include <QString>
#include <functional>
#include <memory>

namespace panekit {

class Application;
class PanekitContext;
class Tool;

// A top-level window of the framework. It registers with the frame manager when shown,
// asks its tools before it closes (and, as the last frame, before the application exits),
// keeps its position in the system profile under "Frame." + its identifier, and ends the
// application when the last frame has closed. Most operations forward to its context.
class BrowserFrame : public QMainWindow {
    Q_OBJECT

public:
    explicit BrowserFrame(const QString& id = {}, QWidget* parent = nullptr);
    ~BrowserFrame() override;

    virtual void setPanekitContext(std::unique_ptr<PanekitContext> context);
    virtual PanekitContext* getPanekitContext() const { return context_.get(); }
    virtual void setID(const QString& id) { id_ = id; }
    virtual QString getID() const { return id_; }
    virtual void setMode(int mode) { mode_ = mode; }
    virtual int getMode() const { return mode_; }
    virtual void setApplicationKey(const QString& key);
    virtual QString getApplicationKey() const { return appKey_; }
    virtual Application* getApplication() const;

    virtual void activateAll();
    // Moves the frame to the bounds saved for its identifier; false when none are saved.
    virtual bool setSavedBounds();
    virtual bool handleWindowClosing();
    virtual bool handleApplicationExiting();
    virtual Tool* getController() const;
    virtual Tool* getPrintableTool() const;
    virtual void applyToAllTools(const std::function<void(Tool&)>& apply);
    virtual void fireLinkEvent(const LinkEventPtr& event);
    virtual void fireModelEvent(const LinkEventPtr& event);

    // The system-profile key of this frame's bounds.
    QString boundsKey() const { return QStringLiteral("Frame.") + id_; }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void frameClosed();

    QString id_;
    QString appKey_;
    int mode_ = 0;
    bool boundsRestored_ = false;
    std::unique_ptr<PanekitContext> context_;
};

} // namespace panekit
