#include "views/sourcepane.h"

#include <QEvent>
#include <QScrollBar>
#include <utility>

namespace tracewin {

SourcePane::SourcePane(QWidget* parent) : QAbstractScrollArea(parent) {
    // The base class lays its bars out again, queued, after every change of a bar's range:
    // a text that grows by a line at each step of a running page would wake the event loop
    // once more per step for it. A bar shown as needed only comes or goes when its range
    // turns empty or not, so only then is the layout queued.
    for (QScrollBar* bar : {horizontalScrollBar(), verticalScrollBar()}) {
        disconnect(bar, SIGNAL(rangeChanged(int, int)), this, SLOT(_q_showOrHideScrollBars()));
        connect(bar, &QScrollBar::rangeChanged, this,
                [this, bar, scrolls = bar->maximum() > bar->minimum()](int min, int max) mutable {
                    const bool scrolled = std::exchange(scrolls, max > min);
                    const Qt::ScrollBarPolicy policy = bar->orientation() == Qt::Horizontal
                                                           ? horizontalScrollBarPolicy()
                                                           : verticalScrollBarPolicy();
                    if (scrolled != scrolls && policy == Qt::ScrollBarAsNeeded)
                        QMetaObject::invokeMethod(this, &SourcePane::layOutBars,
                                                  Qt::QueuedConnection);
                });
    }
}

void SourcePane::layOutBars() {
    // Setting a policy lays the bars out again at once.
    setHorizontalScrollBarPolicy(horizontalScrollBarPolicy());
    setVerticalScrollBarPolicy(verticalScrollBarPolicy());
}

void SourcePane::setWidget(QWidget* client) {
    if (client == client_)
        return;
    if (QWidget* old = takeWidget())
        old->hide();
    if (!client)
        return;
    // Bars at rest first: a text component sets its ranges when it arrives.
    for (QScrollBar* bar : {horizontalScrollBar(), verticalScrollBar()}) {
        bar->setRange(0, 0);
        bar->setValue(0);
    }
    client_ = client;
    client->setParent(viewport());
    fitClient();
}

QWidget* SourcePane::takeWidget() {
    QWidget* client = client_;
    client_ = nullptr;
    if (client)
        client->setParent(nullptr);
    return client;
}

bool SourcePane::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::Resize)
        fitClient();
    return QAbstractScrollArea::viewportEvent(event);
}

void SourcePane::scrollContentsBy(int, int) {
    // The client reads the bars itself.
}

void SourcePane::fitClient() {
    if (client_)
        client_->setGeometry(viewport()->rect());
}

} // namespace tracewin
