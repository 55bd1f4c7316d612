#include "tomcatrunner/invoker.h"

#include "jdwp/error.h"

namespace tomcatrunner {

std::optional<std::pair<jdwp::ClassId, jdwp::MethodId>>
Invoker::findMethod(jdwp::ObjectId object, const std::string& name, const std::string& signature) {
    const jdwp::ReferenceTypeId type = fields_.typeOf(object);
    const auto key = std::tuple{type, name, signature};
    if (const auto it = methods_.find(key); it != methods_.end()) {
        return it->second;
    }
    std::optional<std::pair<jdwp::ClassId, jdwp::MethodId>> found;
    for (jdwp::ClassId c = type; c != 0 && !found; c = vm_.classType.superclass(c)) {
        for (const jdwp::MethodInfo& m : vm_.referenceType.methods(c)) {
            if (m.name == name && m.signature == signature) {
                found = std::pair{c, m.methodId};
                break;
            }
        }
    }
    methods_[key] = found;
    return found;
}

std::optional<jdwp::ObjectId> Invoker::callObject(jdwp::ThreadId thread, jdwp::ObjectId object,
                                                  const std::string& name,
                                                  const std::string& signature,
                                                  const std::vector<std::string>& arguments) {
    const auto method = findMethod(object, name, signature);
    if (!method) {
        return std::nullopt;
    }
    std::vector<jdwp::Value> values;
    for (const std::string& a : arguments) {
        values.push_back(jdwp::Value::ofObject(jdwp::Tag::String, vm_.vm.createString(a)));
    }
    try {
        const jdwp::InvokeResult r = vm_.object.invokeMethod(object, thread, method->first,
                                                             method->second, values, 0,
                                                             CallTimeout);
        if (!r.exception.isNull() || !r.returnValue.isObject() || r.returnValue.isNull()) {
            return std::nullopt;
        }
        return r.returnValue.objectId();
    } catch (const jdwp::VmError&) {
        return std::nullopt; // a thread that cannot run code here, or an object collected
    }
}

std::optional<std::string> Invoker::callString(jdwp::ThreadId thread, jdwp::ObjectId object,
                                               const std::string& name,
                                               const std::string& signature,
                                               const std::vector<std::string>& arguments) {
    const auto result = callObject(thread, object, name, signature, arguments);
    if (!result) {
        return std::nullopt;
    }
    return vm_.string.value(*result);
}

} // namespace tomcatrunner
