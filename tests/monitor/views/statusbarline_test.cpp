#include "views/statusbarline.h"
#include "views/statustextlabel.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>
#include <QTest>
#include <gtest/gtest.h>

using namespace tracewin;

namespace {

// The views' status line changes after every piece of output: a message, however long,
// neither widens the window nor lays the bar out again, and reads back whole.
TEST(StatusBarLine, AMessageNeitherWidensTheWindowNorLaysItOut) {
    QMainWindow window;
    // The frame's own message (the run status) sits at the left of the same bar.
    window.statusBar()->addWidget(new QLabel(QStringLiteral("Running")), 1);
    StatusBarLine line(&window);
    line.setMessage(QStringLiteral("short"));
    window.resize(400, 300);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QSize minimum = window.minimumSizeHint();
    auto* text = window.statusBar()->findChild<StatusTextLabel*>();
    ASSERT_NE(text, nullptr);
    const QRect placed = text->geometry();
    EXPECT_GE(placed.width(), 100) << "the line shares the bar with the frame's message";
    EXPECT_TRUE(text->isVisible());

    const QString longMessage = QStringLiteral("The HTML output has 123456 nesting errors. ") +
                                QString(2000, QLatin1Char('x'));
    line.setMessage(longMessage);
    EXPECT_EQ(line.getMessage(), longMessage);
    EXPECT_EQ(window.minimumSizeHint(), minimum);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(text->geometry(), placed) << "the bar was not laid out again";
    EXPECT_EQ(window.width(), 400);
    EXPECT_EQ(text->height(), text->sizeHint().height());
}

// A window may replace its status bar after the line was made: the message goes to the
// bar it has now.
TEST(StatusBarLine, FollowsAReplacedStatusBar) {
    QMainWindow window;
    StatusBarLine line(&window);
    line.setMessage(QStringLiteral("before"));
    window.setStatusBar(new QStatusBar);
    EXPECT_EQ(line.getMessage(), QStringLiteral(" ")) << "the new bar has no message yet";
    line.setMessage(QStringLiteral("after"));
    EXPECT_EQ(line.getMessage(), QStringLiteral("after"));
}

} // namespace
