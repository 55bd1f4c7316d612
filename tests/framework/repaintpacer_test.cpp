#include "panekit/repaintpacer.h"

#include <QElapsedTimer>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>
#include <memory>

using panekit::RepaintPacer;

namespace {

// A window whose child shows a number, recording every number it painted.
class Counter : public QWidget {
public:
    explicit Counter(QWidget* parent) : QWidget(parent) {}
    void show(int n) {
        value = n;
        update();
    }
    int value = 0;
    std::vector<int> painted;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).drawText(rect(), QString::number(value));
        painted.push_back(value);
    }
};

struct Window {
    Window() {
        window = std::make_unique<QWidget>();
        window->resize(200, 100);
        counter = new Counter(window.get());
        counter->resize(200, 100);
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        EXPECT_TRUE(QTest::qWaitFor([&] { return !counter->painted.empty(); }, 5000));
        counter->painted.clear();
    }
    std::unique_ptr<QWidget> window;
    Counter* counter = nullptr;
};

TEST(RepaintPacer, ManyChangesShowAsFewPicturesAndTheLastChangeAlwaysShows) {
    Window w;
    RepaintPacer* pacer = RepaintPacer::install(w.window.get(), std::chrono::milliseconds(100));
    ASSERT_NE(pacer, nullptr);

    // After a quiet spell a change is painted at once.
    w.counter->show(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.counter->painted.empty(); }, 2000));
    EXPECT_EQ(w.counter->painted.back(), 1);
    EXPECT_EQ(pacer->heldBackCount(), 0) << "nothing held back";

    // A burst: a change on each of 200 turns of the loop. However long the burst takes, it
    // is painted about once per interval, not once per change.
    QElapsedTimer timer;
    timer.start();
    int n = 1;
    for (int i = 0; i < 200; ++i) {
        w.counter->show(++n);
        QCoreApplication::processEvents();
    }
    const auto intervals = static_cast<std::size_t>(timer.elapsed() / 100);
    EXPECT_LE(w.counter->painted.size(), intervals + 3)
        << "at most one picture per interval (" << intervals << " intervals passed)";
    EXPECT_GT(pacer->heldBackCount(), 0);

    // Whatever was held back is painted once the interval is over: nothing is lost, and
    // nothing waits any more.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return w.counter->painted.back() == n && !pacer->holdsRequest(); }, 5000));
}

TEST(RepaintPacer, AWindowClosedWithAHeldRequestIsNoProblem) {
    Window w;
    // So long that the second change is surely still held when the window goes.
    RepaintPacer::install(w.window.get(), std::chrono::hours(1));
    EXPECT_EQ(RepaintPacer::install(nullptr, std::chrono::milliseconds(100)), nullptr);
    w.counter->show(1);
    QCoreApplication::processEvents();
    w.counter->show(2);
    QCoreApplication::processEvents();
    QPointer<RepaintPacer> pacer = w.window->findChild<RepaintPacer*>();
    ASSERT_TRUE(pacer);
    EXPECT_TRUE(pacer->holdsRequest());
    w.window.reset(); // the pacer goes with its window, its timer with it
    EXPECT_TRUE(pacer.isNull());
    QCoreApplication::processEvents();
}

} // namespace
