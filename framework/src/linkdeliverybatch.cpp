#include "panekit/linkdeliverybatch.h"

#include "deliveryqueue.h"

namespace panekit {

LinkDeliveryBatch::LinkDeliveryBatch() : held_(DeliveryQueue::servesCurrentThread()) {
    if (held_)
        DeliveryQueue::hold();
}

LinkDeliveryBatch::~LinkDeliveryBatch() {
    if (held_)
        DeliveryQueue::release();
}

} // namespace panekit
