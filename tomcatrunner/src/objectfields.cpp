#include "tomcatrunner/objectfields.h"

#include "jdwp/error.h"
#include "tomcatrunner/pageclasses.h"

namespace tomcatrunner {

jdwp::ReferenceTypeId ObjectFields::typeOf(jdwp::ObjectId object) {
    const auto it = types_.find(object);
    if (it != types_.end()) {
        return it->second;
    }
    const jdwp::ReferenceTypeId type = vm_.object.referenceType(object).second;
    // Objects come and go; keep the cache small.
    if (types_.size() > 4096) {
        types_.clear();
    }
    types_[object] = type;
    return type;
}

jdwp::FieldId ObjectFields::field(jdwp::ObjectId object, const std::string& name) {
    const jdwp::ReferenceTypeId objectType = typeOf(object);
    const auto key = std::pair{objectType, name};
    if (const auto it = fields_.find(key); it != fields_.end()) {
        return it->second;
    }
    for (jdwp::ReferenceTypeId type = objectType; type != 0;
         type = vm_.classType.superclass(type)) {
        for (const jdwp::FieldInfo& f : vm_.referenceType.fields(type)) {
            // Instance fields only: reading a static one through its object crashes HotSpot.
            constexpr std::int32_t Static = 0x0008;
            if (f.name == name && (f.modBits & Static) == 0) {
                fields_[key] = f.fieldId;
                return f.fieldId;
            }
        }
    }
    throw jdwp::Error("no field " + name + " in " + className(object));
}

jdwp::Value ObjectFields::read(jdwp::ObjectId object, const std::string& name) {
    const jdwp::FieldId id = field(object, name);
    return vm_.object.getValues(object, std::vector<jdwp::FieldId>{id}).at(0);
}

std::string ObjectFields::className(jdwp::ObjectId object) {
    return classNameOfSignature(vm_.referenceType.signature(typeOf(object)));
}

} // namespace tomcatrunner
