#include "deliveryqueue.h"

#include <QCoreApplication>
#include <QThread>

namespace panekit {
namespace {

// Jobs one drain runs at most before it lets the event loop take its turn.
constexpr int kJobsPerDrain = 10000;

} // namespace

DeliveryQueue& DeliveryQueue::instance() {
    static DeliveryQueue queue;
    return queue;
}

bool DeliveryQueue::servesCurrentThread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void DeliveryQueue::post(QObject* context, std::function<void()> job) {
    DeliveryQueue& queue = instance();
    queue.jobs_.push_back(Job{context, std::move(job)});
    if (!queue.drainPostedTo_)
        queue.postDrain();
}

void DeliveryQueue::postDrain() {
    QCoreApplication* app = QCoreApplication::instance();
    drainPostedTo_ = app;
    QMetaObject::invokeMethod(
        app, [this] { drain(); }, Qt::QueuedConnection);
}

void DeliveryQueue::drain() {
    // A job may spin a nested event loop (a modal dialog); jobs it causes get a drain of
    // their own there, and run after the ones already waiting, as they would here.
    drainPostedTo_ = nullptr;
    for (int budget = kJobsPerDrain; budget > 0 && !jobs_.empty(); --budget) {
        Job job = std::move(jobs_.front());
        jobs_.pop_front();
        if (job.context)
            job.run();
    }
    if (!jobs_.empty() && !drainPostedTo_)
        postDrain();
}

} // namespace panekit
