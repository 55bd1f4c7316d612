#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

namespace tracewin {

// A small window that asks the user to wait while the monitor starts. It runs as its own
// program; closing it ends that program.
class SplashMsgHandler {
public:
    static constexpr const char* waitMessage = "Initializing the Velmont.  Please Wait...";

    explicit SplashMsgHandler(const QString& message);
    ~SplashMsgHandler();
    void showSplashMsg();
    QWidget* window() const { return window_; }

private:
    QPointer<QWidget> window_;
};

} // namespace tracewin
