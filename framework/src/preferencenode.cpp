#include "panekit/preferencenode.h"

#include "panekit/profile.h"

#include <atomic>

namespace panekit {
namespace {

std::atomic<int> nextId{1};

} // namespace

PreferenceNode::PreferenceNode(bool systemNode) : id_(nextId++), systemNode_(systemNode) {}

PreferenceNode::~PreferenceNode() = default;

PreferenceNode* PreferenceNode::addChild(std::unique_ptr<PreferenceNode> child) {
    if (!child)
        return nullptr;
    child->parent_ = this;
    children_.push_back(std::move(child));
    return children_.back().get();
}

std::unique_ptr<PreferenceNode> PreferenceNode::removeChild(PreferenceNode* child) {
    for (auto it = children_.begin(); it != children_.end(); ++it) {
        if (it->get() == child) {
            std::unique_ptr<PreferenceNode> out = std::move(*it);
            children_.erase(it);
            out->parent_ = nullptr;
            return out;
        }
    }
    return nullptr;
}

std::vector<PreferenceNode*> PreferenceNode::getChildren() const {
    std::vector<PreferenceNode*> out;
    for (const auto& c : children_)
        out.push_back(c.get());
    return out;
}

void PreferenceNode::displaySettings(std::any& settings) {
    if (auto* profile = std::any_cast<Profile*>(&settings); profile && *profile)
        displaySettings(**profile);
}

void PreferenceNode::saveSettings(std::any& settings) {
    if (auto* profile = std::any_cast<Profile*>(&settings); profile && *profile)
        saveSettings(**profile);
}

void PreferenceNode::displaySettings(Profile&) {}

void PreferenceNode::saveSettings(Profile&) {}

} // namespace panekit
