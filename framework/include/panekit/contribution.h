#pragma once

#include "panekit/tool.h"

#include <QPointer>
#include <memory>
#include <vector>

namespace panekit {

// Base of everything a contribution holds: whether the item is shared with like items of
// other tools and whether it is installed in a window.
class ContributionItem {
public:
    virtual ~ContributionItem() = default;

    void setShared(bool shared) { shared_ = shared; }
    bool isShared() const { return shared_; }
    bool isInstalled() const { return installed_; }
    void setInstalled(bool installed) { installed_ = installed; }

private:
    bool shared_ = false;
    bool installed_ = false;
};

// What one tool hands a window: an ordered list of items and a priority. The tool owns its
// contributions; a window asks for them once, when the tool's pane is merged into it.
template <class Item> class Contribution {
public:
    virtual ~Contribution() = default;

    void add(std::shared_ptr<Item> item) {
        if (item)
            items_.push_back(std::move(item));
    }
    void remove(const Item* item) {
        std::erase_if(items_, [item](const auto& i) { return i.get() == item; });
    }
    int getItemCount() const { return int(items_.size()); }
    Item* getItem(int index) const {
        return index >= 0 && index < getItemCount() ? items_[size_t(index)].get() : nullptr;
    }
    const std::vector<std::shared_ptr<Item>>& getItems() const { return items_; }
    void setPriority(int priority) { priority_ = priority; }
    int getPriority() const { return priority_; }
    void setTool(Tool* tool) { tool_ = tool; }
    Tool* getTool() const { return tool_.data(); }

private:
    std::vector<std::shared_ptr<Item>> items_;
    int priority_ = 0;
    QPointer<Tool> tool_;
};

} // namespace panekit
