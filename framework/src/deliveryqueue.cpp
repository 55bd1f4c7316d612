#include "deliveryqueue.h"

#include "panekit/tool.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QThread>

namespace panekit {
namespace {

// Jobs one drain runs at most before it lets the event loop take its turn.
constexpr int kJobsPerDrain = 10000;

} // namespace

DeliveryQueue& DeliveryQueue::instance() {
    // Never destroyed: a tool destroyed late at exit still finds it.
    static DeliveryQueue* const queue = new DeliveryQueue;
    return *queue;
}

bool DeliveryQueue::servesCurrentThread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void DeliveryQueue::postDelivery(Tool* tool, LinkEventPtr event, bool generic) {
    instance().queue(Job{tool, std::move(event), generic, {}});
}

void DeliveryQueue::post(Tool* tool, std::function<void()> job) {
    instance().queue(Job{tool, nullptr, false, std::move(job)});
}

void DeliveryQueue::forget(const Tool* tool) {
    // Without an application the jobs wait for the next one, which may run them: they are
    // dropped then too. Tools live on the application's thread; another thread has no jobs.
    if (QCoreApplication::instance() && !servesCurrentThread())
        return;
    for (Job& job : instance().jobs_)
        if (job.tool == tool)
            job.tool = nullptr;
}

void DeliveryQueue::queue(Job job) {
    jobs_.push_back(std::move(job));
    // A drain under way takes the job in turn, and a hold runs it when it ends: only
    // otherwise is the event loop woken for it.
    if (holds_ > 0 || draining_)
        watchForNestedLoops();
    else if (!drainPostedTo_)
        postDrain();
}

void DeliveryQueue::runJob(Job& job) {
    if (!job.tool)
        return;
    if (job.run)
        job.run();
    else
        job.tool->deliver(job.event, job.generic);
}

void DeliveryQueue::hold() {
    if (servesCurrentThread())
        ++instance().holds_;
}

void DeliveryQueue::release() {
    if (!servesCurrentThread())
        return;
    DeliveryQueue& queue = instance();
    if (--queue.holds_ > 0 || queue.draining_ || queue.jobs_.empty())
        return;
    queue.drain();
}

void DeliveryQueue::watchForNestedLoops() {
    // A job that spins an event loop of its own (a modal dialog) leaves the jobs queued
    // meanwhile to that loop: when it is about to wait, a drain is posted for them. The
    // application's thread keeps its dispatcher while it lives.
    if (watched_)
        return;
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (!dispatcher)
        return;
    watched_ = dispatcher;
    QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, dispatcher, [this] {
        if (!jobs_.empty() && !drainPostedTo_)
            postDrain();
    });
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
    const bool outer = draining_;
    draining_ = true;
    for (int budget = kJobsPerDrain; budget > 0 && !jobs_.empty(); --budget) {
        Job job = std::move(jobs_.front());
        jobs_.pop_front();
        runJob(job);
    }
    draining_ = outer;
    if (!jobs_.empty() && !drainPostedTo_)
        postDrain();
}

} // namespace panekit
