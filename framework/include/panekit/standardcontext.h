#pragma once

#include "panekit/panekitcontext.h"

#include <QPointer>

class QMainWindow;
class QStatusBar;
class QWidget;

namespace panekit {

// The context of a standard window: a client area, a status line and a docking area for
// tool bars, all provided by the window (a QMainWindow). It holds no tools of its own.
class StandardContext : public PanekitContext {
    Q_OBJECT

public:
    StandardContext(QMainWindow* root, const QString& appKey);

    QMainWindow* getRootPane() const { return root_; }
    // The component that fills the client area; the window takes ownership.
    void setClient(QWidget* client);
    QWidget* getClient() const;
    void setStatusLine(QStatusBar* statusLine);
    QStatusBar* getStatusLine() const;
    void setStatusComponent(QWidget* component);
    void setStatusLineVisible(bool visible);
    QMainWindow* getDockingPane() const { return root_; }

    Tool* getController() const override { return nullptr; }
    bool handleWindowClosing() override { return true; }
    bool handleApplicationExiting() override { return true; }
    void activateAll() override {}
    void uninstallAll() override {}
    void applyToAllTools(const std::function<void(Tool&)>&) override {}
    void setBusy(bool busy) override;

private:
    QPointer<QMainWindow> root_;
};

} // namespace panekit
