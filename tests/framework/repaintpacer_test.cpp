#include "panekit/repaintpacer.h"

#include <QElapsedTimer>
#include <QPaintEvent>
#include <QPainter>
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
        QTest::qWait(50);
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

    // A burst: a change on every turn of the loop for 300 ms.
    QElapsedTimer timer;
    timer.start();
    int n = 1;
    while (timer.elapsed() < 300) {
        w.counter->show(++n);
        QCoreApplication::processEvents();
    }
    EXPECT_GT(n, 50) << "the burst made many changes";
    EXPECT_LE(w.counter->painted.size(), 6u) << "about one picture per 100 ms";
    EXPECT_GT(pacer->heldBackCount(), 0);

    // Whatever was held back is painted once the interval is over: nothing is lost.
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.counter->painted.back() == n; }, 2000));
    const std::size_t pictures = w.counter->painted.size();
    QTest::qWait(250);
    EXPECT_EQ(w.counter->painted.size(), pictures) << "no repaint without a change";
}

TEST(RepaintPacer, AWindowClosedWithAHeldRequestIsNoProblem) {
    Window w;
    RepaintPacer::install(w.window.get(), std::chrono::milliseconds(100));
    EXPECT_EQ(RepaintPacer::install(nullptr, std::chrono::milliseconds(100)), nullptr);
    w.counter->show(1);
    QCoreApplication::processEvents();
    w.counter->show(2);
    QCoreApplication::processEvents();
    w.window.reset(); // the pacer goes with its window, its timer with it
    QTest::qWait(150);
}

} // namespace
