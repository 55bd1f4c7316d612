#pragma once

#include <QObject>
#include <QPointer>

class QWidget;

namespace panekit {

class Tool;

// Follows the keyboard focus of the application and keeps the tool whose pane holds it.
// Focus that moves to a widget outside every pane (a menu, a tool bar, another window's
// status line) leaves the tool in focus as it was, so that commands reach the pane last used.
class FocusTracker : public QObject {
    Q_OBJECT

public:
    // The tracker of the running QApplication, made on first use.
    static FocusTracker& instance();

    Tool* toolInFocus() const { return current_; }
    // Moves the focus to tool (or clears it), telling the tools focusLost and focusGained.
    void setToolInFocus(Tool* tool);

signals:
    void toolInFocusChanged(Tool* tool);

private:
    explicit FocusTracker(QObject* parent);
    void focusChanged(QWidget* old, QWidget* now);

    QPointer<Tool> current_;
};

} // namespace panekit
