#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <chrono>

class QWidget;

namespace panekit {

// Paints a window at most once per interval. A window whose tools change many times a
// second (a page run without pause moves the execution mark thousands of times a
// second) would otherwise repaint after every change; the pacer holds the window's
// repaint request back until the interval has passed since the last repaint, while the
// dirty regions keep accumulating, and then lets one repaint cover them all. A request
// after a quiet interval is painted at once, so single changes show without delay.
class RepaintPacer : public QObject {
    Q_OBJECT
public:
    // Paces window (a top-level widget) for as long as both live; owned by the window.
    static RepaintPacer* install(QWidget* window, std::chrono::milliseconds interval);

    std::chrono::milliseconds interval() const { return interval_; }
    // Repaints let through and held back so far.
    long paintedCount() const { return painted_; }
    long heldBackCount() const { return heldBack_; }
    // Whether a repaint request waits for the interval to pass.
    bool holdsRequest() const { return pending_.isActive(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    RepaintPacer(QWidget* window, std::chrono::milliseconds interval);
    void deliverHeldRequest();

    QPointer<QWidget> window_;
    std::chrono::milliseconds interval_;
    QElapsedTimer sinceLastPaint_;
    QTimer pending_;
    bool delivering_ = false;
    long painted_ = 0;
    long heldBack_ = 0;
};

} // namespace panekit
