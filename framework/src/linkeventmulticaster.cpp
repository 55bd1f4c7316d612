#include "panekit/linkeventmulticaster.h"

namespace panekit {

LinkEventMulticaster::ListenerPtr LinkEventMulticaster::add(const ListenerPtr& a,
                                                            const ListenerPtr& b) {
    if (!a)
        return b;
    if (!b)
        return a;
    return std::make_shared<LinkEventMulticaster>(a, b);
}

LinkEventMulticaster::ListenerPtr LinkEventMulticaster::remove(const ListenerPtr& chain,
                                                               const LinkListener* old) {
    if (!chain || chain.get() == old)
        return nullptr;
    const auto* pair = dynamic_cast<const LinkEventMulticaster*>(chain.get());
    if (!pair)
        return chain;
    ListenerPtr a = remove(pair->a_, old);
    ListenerPtr b = remove(pair->b_, old);
    if (a == pair->a_ && b == pair->b_)
        return chain;
    return add(a, b);
}

bool LinkEventMulticaster::contains(const ListenerPtr& chain, const LinkListener* listener) {
    if (!chain)
        return false;
    if (chain.get() == listener)
        return true;
    const auto* pair = dynamic_cast<const LinkEventMulticaster*>(chain.get());
    return pair && (contains(pair->a_, listener) || contains(pair->b_, listener));
}

int LinkEventMulticaster::count(const ListenerPtr& chain) {
    if (!chain)
        return 0;
    const auto* pair = dynamic_cast<const LinkEventMulticaster*>(chain.get());
    return pair ? count(pair->a_) + count(pair->b_) : 1;
}

void LinkEventMulticaster::linkChanged(const LinkEventPtr& event) {
    a_->linkChanged(event);
    b_->linkChanged(event);
}

void LinkEventMulticaster::linkChangedGeneric(const LinkEventPtr& event) {
    a_->linkChangedGeneric(event);
    b_->linkChangedGeneric(event);
}

} // namespace panekit
