#include "panekit/linkdeliverybatch.h"

#include "deliveryqueue.h"

namespace panekit {

void LinkDeliveryBatch::hold() {
    DeliveryQueue::hold();
}

void LinkDeliveryBatch::release() {
    DeliveryQueue::release();
}

} // namespace panekit
