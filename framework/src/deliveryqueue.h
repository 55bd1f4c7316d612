#pragma once

#include "panekit/linkevent.h"

#include <QAbstractEventDispatcher>
#include <QObject>
#include <QPointer>
#include <deque>
#include <functional>

class QCoreApplication;

namespace panekit {

class Tool;

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
    // Queues the delivery of an event to a tool (through its own link, or the generic one
    // when generic is set): the commonest job, kept without a function object of its own.
    static void postDelivery(Tool* tool, LinkEventPtr event, bool generic);
    // Queues another job of a tool.
    static void post(Tool* tool, std::function<void()> job);
    // Drops the jobs waiting for a tool that is being destroyed (on the application's
    // thread, or while there is no application).
    static void forget(const Tool* tool);
    // While held (holds nest), queued jobs are not announced to the event loop; when the
    // last hold is let go, the waiting jobs run there and then, unless a drain is running
    // already (it takes them in turn). Off the application's thread both do nothing.
    static void hold();
    static void release();

private:
    struct Job {
        Tool* tool = nullptr; // null once the tool is destroyed: the job is dropped
        LinkEventPtr event;   // a delivery, when run is empty
        bool generic = false;
        std::function<void()> run;
    };
    static DeliveryQueue& instance();
    void queue(Job job);
    static void runJob(Job& job);
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
