#pragma once

#include <QAbstractEventDispatcher>
#include <QObject>
#include <QPointer>
#include <deque>
#include <functional>

class QCoreApplication;

namespace panekit {

// The queued link deliveries of the application's thread, run in posting order by one
// posted job that drains them all: a chain of hops (a handler firing the next event,
// whose handler fires the next) runs in one turn of the event loop, where a job posted per
// delivery costs a turn, a wake-up and a poll per hop. Jobs posted while the queue drains
// run in the same drain, after those already waiting; a drain stops after a bounded
// number of jobs, so that a chain that never ends cannot starve the event loop. Code that
// answers one input (a record from a socket) with several deliveries may hold the queue
// while it works: the deliveries then run when it lets go, with no wake-up of the event
// loop at all.
class DeliveryQueue {
public:
    // Whether jobs may be queued from the calling thread (the application's thread).
    static bool servesCurrentThread();
    // Queues a job that runs only while its context lives.
    static void post(QObject* context, std::function<void()> job);
    // While held (holds nest), queued jobs are not announced to the event loop; when the
    // last hold is let go, the waiting jobs run there and then, unless a drain is running
    // already (it takes them in turn). Off the application's thread both do nothing.
    static void hold();
    static void release();

private:
    struct Job {
        QPointer<QObject> context;
        std::function<void()> run;
    };
    static DeliveryQueue& instance();
    void postDrain();
    void drain();
    void watchForNestedLoops();

    std::deque<Job> jobs_;
    int holds_ = 0;
    bool draining_ = false; // a drain is running (perhaps under a nested event loop)
    QPointer<QAbstractEventDispatcher> watched_;
    // The application a drain is posted to; null when none is pending.
    QPointer<QCoreApplication> drainPostedTo_;
};

} // namespace panekit
