#pragma once

#include "jdwp/debuggee.h"

#include <map>
#include <string>
#include <utility>

namespace tomcatrunner {

// Reads fields of objects in the VM by name, looking through the superclasses, with the
// objects' classes and the field ids remembered (neither changes while the VM runs).
class ObjectFields {
public:
    explicit ObjectFields(jdwp::Debuggee& vm) : vm_(vm) {}

    jdwp::ReferenceTypeId typeOf(jdwp::ObjectId object);
    // Throws jdwp::Error when no class of the object declares the field.
    jdwp::FieldId field(jdwp::ObjectId object, const std::string& name);
    jdwp::Value read(jdwp::ObjectId object, const std::string& name);
    // "java.lang.IllegalStateException" for an object of that class.
    std::string className(jdwp::ObjectId object);

private:
    jdwp::Debuggee& vm_;
    std::map<jdwp::ObjectId, jdwp::ReferenceTypeId> types_;
    std::map<std::pair<jdwp::ReferenceTypeId, std::string>, jdwp::FieldId> fields_;
};

} // namespace tomcatrunner
