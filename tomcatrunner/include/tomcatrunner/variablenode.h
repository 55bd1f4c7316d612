#pragma once

#include "tracehook/pagevariables.h"

#include <memory>
#include <string>
#include <vector>

namespace tomcatrunner {

// One entry of what a page holds at a stop, while it is being read: what the variables
// record shows of it, and the entries below it. The tree is filled as replies come, then
// written out once in pre-order.
struct VariableNode {
    std::string name;
    std::string type;
    std::string value;
    bool cut = false;
    bool group = false;
    // A string value's text, unquoted.
    std::string text;
    // An entry of a map is named by its key, shown once it has been read: by the key's
    // display ("\"apple\"", 3), or for an attribute by its text (basket).
    std::unique_ptr<VariableNode> key;
    bool namedByKeyText = false;
    // The entries below are shown in the order of their names (a scope's attributes).
    bool sortChildren = false;
    std::vector<std::unique_ptr<VariableNode>> children;

    VariableNode& addChild(std::string childName = {}, std::string childType = {});
    // Sets the value shown, cut to the record's bound.
    void setValue(std::string shown);
};

// The entries of the groups in pre-order, each group at depth 0 and only when it holds
// something; at most PageVariables::maxEntries.
std::vector<tracehook::PageVariable> flatten(const std::vector<VariableNode*>& groups);

} // namespace tomcatrunner
