#pragma once

namespace panekit {

// Holds the link deliveries queued on the application's thread while it lives; when the
// outermost batch ends, the waiting deliveries run there and then, in order (or, when a
// delivery is running already, in its turn). They still run after the code that fired
// them, never inside it; what a batch saves is the event loop's wake-up and extra turn per
// input, where code answers each input (a record read from a socket) with deliveries.
// On another thread it does nothing.
class LinkDeliveryBatch {
public:
    LinkDeliveryBatch() { hold(); }
    ~LinkDeliveryBatch() { release(); }
    LinkDeliveryBatch(const LinkDeliveryBatch&) = delete;
    LinkDeliveryBatch& operator=(const LinkDeliveryBatch&) = delete;

    // The same, for code whose handling of an input begins and ends in separate calls:
    // each hold is matched by one release, and holds nest.
    static void hold();
    static void release();
};

} // namespace panekit
