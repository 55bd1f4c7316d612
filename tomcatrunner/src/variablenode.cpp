#include "tomcatrunner/variablenode.h"

#include <algorithm>

namespace tomcatrunner {

using tracehook::PageVariable;
using tracehook::PageVariables;

namespace {

std::string nameOf(const VariableNode& node) {
    if (node.key) {
        return node.namedByKeyText ? node.key->text : node.key->value;
    }
    return node.name;
}

void write(const VariableNode& node, int depth, std::vector<PageVariable>& out) {
    if (out.size() >= PageVariables::maxEntries) {
        return;
    }
    out.push_back(PageVariable{depth, nameOf(node), node.type, node.value, node.cut, node.group});
    std::vector<const VariableNode*> children;
    for (const auto& child : node.children) {
        children.push_back(child.get());
    }
    if (node.sortChildren) {
        std::stable_sort(
            children.begin(), children.end(),
            [](const VariableNode* a, const VariableNode* b) { return nameOf(*a) < nameOf(*b); });
    }
    for (const VariableNode* child : children) {
        write(*child, depth + 1, out);
    }
}

} // namespace

VariableNode& VariableNode::addChild(std::string childName, std::string childType) {
    auto child = std::make_unique<VariableNode>();
    child->name = std::move(childName);
    child->type = std::move(childType);
    children.push_back(std::move(child));
    return *children.back();
}

void VariableNode::setValue(std::string shown) {
    value = PageVariables::cutValue(std::move(shown), &cut);
}

std::vector<PageVariable> flatten(const std::vector<VariableNode*>& groups) {
    std::vector<PageVariable> out;
    for (const VariableNode* group : groups) {
        if (group != nullptr && !group->children.empty()) {
            write(*group, 0, out);
        }
    }
    return out;
}

} // namespace tomcatrunner
