#pragma once

#include "panekit/linkevent.h"

namespace panekit {

// A receiver of link events. linkChanged takes events delivered under their own kind,
// linkChangedGeneric those delivered to a receiver that listens to every kind.
class LinkListener {
public:
    virtual ~LinkListener() = default;

    virtual void linkChanged(const LinkEventPtr& event) = 0;
    virtual void linkChangedGeneric(const LinkEventPtr& event) = 0;
};

} // namespace panekit
