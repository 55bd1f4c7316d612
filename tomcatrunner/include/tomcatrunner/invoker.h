#pragma once

#include "jdwp/debuggee.h"
#include "tomcatrunner/objectfields.h"

#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace tomcatrunner {

// Calls methods of objects in the VM on a thread that an event suspended, with only that
// thread running meanwhile and a bound on the time each call may take.
class Invoker {
public:
    static constexpr jdwp::Timeout CallTimeout{5'000};

    Invoker(jdwp::Debuggee& vm, ObjectFields& fields) : vm_(vm), fields_(fields) {}

    // Calls a method that takes strings (or nothing) and returns an object; nullopt when it
    // returns null, throws, or the object's class has no such method.
    std::optional<jdwp::ObjectId> callObject(jdwp::ThreadId thread, jdwp::ObjectId object,
                                             const std::string& name,
                                             const std::string& signature,
                                             const std::vector<std::string>& arguments = {});
    // The same for a method that returns a String, as its text.
    std::optional<std::string> callString(jdwp::ThreadId thread, jdwp::ObjectId object,
                                          const std::string& name, const std::string& signature,
                                          const std::vector<std::string>& arguments = {});

private:
    // The class that declares the method, and the method, found through the superclasses.
    std::optional<std::pair<jdwp::ClassId, jdwp::MethodId>>
    findMethod(jdwp::ObjectId object, const std::string& name, const std::string& signature);

    jdwp::Debuggee& vm_;
    ObjectFields& fields_;
    std::map<std::tuple<jdwp::ReferenceTypeId, std::string, std::string>,
             std::optional<std::pair<jdwp::ClassId, jdwp::MethodId>>>
        methods_;
};

} // namespace tomcatrunner
