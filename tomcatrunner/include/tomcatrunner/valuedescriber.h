#pragma once

#include "tomcatrunner/containerreader.h"
#include "tomcatrunner/variablenode.h"
#include "tomcatrunner/vmobjects.h"

#include <string>

namespace tomcatrunner {

// Shows values of the suspended program as a debugger shows them: primitives, strings,
// boxed numbers, big decimals, enums and string builders by their value; arrays,
// collections and maps with their size; other objects as Class@id. One level down it
// reads what a value holds: an object's fields, an array's or a collection's elements, a
// map's entries named by their keys. Nothing runs in the program to find any of it.
class ValueDescriber {
public:
    explicit ValueDescriber(VmObjects& objects) : objects_(objects), containers_(objects) {}

    // Fills the node from the value: its value text, its type when the node has none (the
    // value's class), and with `withChildren` the entries below it. The node must outlive
    // the pipeline's run.
    void describe(const jdwp::Value& value, VariableNode& node, bool withChildren);

private:
    void describeString(jdwp::StringId string, VariableNode& node);
    void describeArray(jdwp::ObjectId array, const ClassLayout& layout, VariableNode& node,
                       bool withChildren);
    // Values that stand for themselves (boxes, big numbers, enums, builders); false for
    // other classes.
    bool describeByValue(jdwp::ObjectId object, const ClassLayout& layout, VariableNode& node);
    void describeBigInteger(jdwp::ObjectId object, VariableNode& node, std::int32_t scale,
                            bool asDecimal);
    void describeContainer(jdwp::ObjectId object, const ClassLayout& layout, VariableNode& node,
                           bool withChildren);
    void describeFields(jdwp::ObjectId object, const ClassLayout& layout, VariableNode& node);

    VmObjects& objects_;
    ContainerReader containers_;
};

} // namespace tomcatrunner
