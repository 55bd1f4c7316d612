#pragma once

#include <QIcon>
#include <QList>
#include <QPointer>
#include <QStatusBar>
#include <QStringList>

class QLabel;
class QProgressBar;
class QToolButton;

namespace panekit {

// The status bar of a frame: a message with an optional icon, a busy indicator with an
// optional cancel button, a history of past messages, and the labels tools contribute
// (user components, kept at the right in the order they were added).
class StatusLine : public QStatusBar {
    Q_OBJECT

public:
    explicit StatusLine(QWidget* parent = nullptr);

    void setMessage(const QString& text);
    void setMessage(const QString& text, const QIcon& icon);
    QString getMessage() const;
    void setStatusIcon(const QIcon& icon);
    QIcon getStatusIcon() const { return icon_; }
    QIcon getOkIcon() const;
    QIcon getWaitIcon() const;
    QIcon getStopIcon() const;

    void setBusyIndicatorActive(bool active);
    void startBusyIndicator() { setBusyIndicatorActive(true); }
    void stopBusyIndicator() { setBusyIndicatorActive(false); }
    bool isBusyIndicatorActive() const;
    QProgressBar* getTaskIndicator() const { return busy_; }
    void setCancelEnabled(bool enabled);
    bool isCancelEnabled() const { return cancelEnabled_; }
    bool isCanceled() const { return canceled_; }
    void setCanceled(bool canceled) { canceled_ = canceled; }

    void setMessageHistoryEnabled(bool enabled) { historyEnabled_ = enabled; }
    bool isMessageHistoryEnabled() const { return historyEnabled_; }
    QStringList getMessageHistory() const { return history_; }

    // The status line takes the component over; removing it only takes it off the line.
    void addUserComponent(QWidget* component);
    void removeUserComponent(QWidget* component);
    QList<QWidget*> getUserComponents() const;
    void removeAllUserComponents();

signals:
    void cancelRequested();

private:
    QLabel* iconLabel_;
    QLabel* messageLabel_;
    QProgressBar* busy_;
    QToolButton* cancel_;
    QIcon icon_;
    bool cancelEnabled_ = false;
    bool canceled_ = false;
    bool historyEnabled_ = false;
    QStringList history_;
    QList<QPointer<QWidget>> users_;
};

} // namespace panekit
