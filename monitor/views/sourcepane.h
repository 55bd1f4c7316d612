#pragma once

#include <QAbstractScrollArea>
#include <QPointer>

namespace tracewin {

// The scroll area of a view: one client widget that always fills the viewport. The bars
// do not move the client; a client that knows how far it extends (the source text
// component) sets their ranges and follows their values itself, so that no widget is ever
// as large as a long text. Any other client (a list) scrolls by its own means and leaves
// the bars at rest.
class SourcePane : public QAbstractScrollArea {
    Q_OBJECT

public:
    explicit SourcePane(QWidget* parent = nullptr);

    QWidget* widget() const { return client_; }
    // Puts a client into the viewport (the previous one is taken out first, as
    // takeWidget does); the bars start at rest until the client sets them.
    void setWidget(QWidget* client);
    // Takes the client out; the caller owns it, without a parent.
    QWidget* takeWidget();

protected:
    bool viewportEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void fitClient();
    // Shows or hides the bars as their ranges ask.
    void layOutBars();

    QPointer<QWidget> client_;
};

} // namespace tracewin
