#pragma once

#include "panekit/linklistener.h"

#include <memory>

namespace panekit {

// An immutable pair of listeners; chains of pairs hold the receivers of one kind in
// registration order, which is the order of delivery. add and remove return a new chain, so
// a delivery under way keeps walking the chain it started with.
class LinkEventMulticaster final : public LinkListener {
public:
    using ListenerPtr = std::shared_ptr<LinkListener>;

    LinkEventMulticaster(ListenerPtr a, ListenerPtr b) : a_(std::move(a)), b_(std::move(b)) {}

    // b when a is absent, a when b is absent, else the pair (a, b).
    static ListenerPtr add(const ListenerPtr& a, const ListenerPtr& b);
    // The chain without old (every occurrence of it); null when nothing is left.
    static ListenerPtr remove(const ListenerPtr& chain, const LinkListener* old);
    // Whether listener occurs in the chain.
    static bool contains(const ListenerPtr& chain, const LinkListener* listener);
    // The number of listeners in the chain.
    static int count(const ListenerPtr& chain);

    void linkChanged(const LinkEventPtr& event) override;
    void linkChangedGeneric(const LinkEventPtr& event) override;

    const ListenerPtr& first() const { return a_; }
    const ListenerPtr& second() const { return b_; }

private:
    const ListenerPtr a_;
    const ListenerPtr b_;
};

} // namespace panekit
