#pragma once

#include <QString>
#include <QWidget>

namespace tracewin {

// One line of status text that changes often (the tag stack rewords it after every piece of
// output). Unlike a label, its size does not follow its text: a new text only repaints it,
// never lays out the status bar or the window again, and a long text is cut with "…" (the
// whole of it in the tool tip) instead of widening the window.
class StatusTextLabel final : public QWidget {
    Q_OBJECT

public:
    explicit StatusTextLabel(QWidget* parent = nullptr);

    void setText(const QString& text);
    const QString& text() const { return text_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    QString text_;
};

} // namespace tracewin
