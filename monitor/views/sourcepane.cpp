#include "views/sourcepane.h"

#include <QEvent>
#include <QScrollBar>

namespace tracewin {

SourcePane::SourcePane(QWidget* parent) : QAbstractScrollArea(parent) {}

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
