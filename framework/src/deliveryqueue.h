#pragma once

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
// number of jobs, so that a chain that never ends cannot starve the event loop.
class DeliveryQueue {
public:
    // Whether jobs may be queued from the calling thread (the application's thread).
    static bool servesCurrentThread();
    // Queues a job that runs only while its context lives.
    static void post(QObject* context, std::function<void()> job);

private:
    struct Job {
        QPointer<QObject> context;
        std::function<void()> run;
    };
    static DeliveryQueue& instance();
    void postDrain();
    void drain();

    std::deque<Job> jobs_;
    // The application a drain is posted to; null when none is pending.
    QPointer<QCoreApplication> drainPostedTo_;
};

} // namespace panekit
