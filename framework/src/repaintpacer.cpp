#include "panekit/repaintpacer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

namespace panekit {

RepaintPacer* RepaintPacer::install(QWidget* window, std::chrono::milliseconds interval) {
    if (!window)
        return nullptr;
    return new RepaintPacer(window, interval);
}

RepaintPacer::RepaintPacer(QWidget* window, std::chrono::milliseconds interval)
    : QObject(window), window_(window), interval_(interval) {
    pending_.setSingleShot(true);
    connect(&pending_, &QTimer::timeout, this, &RepaintPacer::deliverHeldRequest);
    window->installEventFilter(this);
}

bool RepaintPacer::eventFilter(QObject* watched, QEvent* event) {
    // The toolkit posts one repaint request per window and sends no other while that
    // one is outstanding; the changes made meanwhile only add to the dirty region. So a
    // request held back here is delivered later by deliverHeldRequest, and nothing is lost.
    if (watched != window_ || event->type() != QEvent::UpdateRequest || delivering_)
        return false;
    if (pending_.isActive()) {
        ++heldBack_;
        return true;
    }
    const qint64 elapsed = sinceLastPaint_.isValid() ? sinceLastPaint_.elapsed() : -1;
    if (elapsed >= 0 && elapsed < interval_.count()) {
        ++heldBack_;
        pending_.start(static_cast<int>(interval_.count() - elapsed));
        return true;
    }
    ++painted_;
    sinceLastPaint_.start();
    return false;
}

void RepaintPacer::deliverHeldRequest() {
    if (!window_)
        return;
    ++painted_;
    sinceLastPaint_.start();
    delivering_ = true;
    QEvent request(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(window_, &request);
    delivering_ = false;
}

} // namespace panekit
