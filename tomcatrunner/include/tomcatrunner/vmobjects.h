#pragma once

#include "jdwp/pipeline.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tomcatrunner {

// A field as a class's layout holds it: the field and the class that declares it.
struct LayoutField {
    jdwp::FieldInfo info;
    jdwp::ReferenceTypeId declaringType = 0;
};

// What the runner knows of a class: its name, its superclasses' names, and its fields and
// those it inherits. Read once: a class does not change while the VM runs.
struct ClassLayout {
    jdwp::ReferenceTypeId typeId = 0;
    std::string signature;               // "Ljava/util/ArrayList;", "[I"
    std::string name;                    // "java.util.ArrayList", "int[]"
    std::vector<std::string> superNames; // the superclasses', nearest first
    // Instance fields, the farthest superclass's first; static fields of the class itself.
    std::vector<LayoutField> instanceFields;
    std::vector<LayoutField> staticFields;

    bool isArray() const { return signature.starts_with("["); }
    // Whether the class is `className` or extends it.
    bool isA(std::string_view className) const;
    // The instance field of that name the class sees (its own before an inherited one).
    const LayoutField* instanceField(std::string_view fieldName) const;
};

// Reads objects of a suspended program through a pipeline, remembering what cannot change:
// classes, texts of strings, lengths of arrays, final fields, and the fields the caller
// calls stable (unchanged while one request runs). Every read is asynchronous: its callback
// runs when the pipeline brings the reply, or at once when the answer is known. A callback
// gets nothing (nullptr, nullopt) when the object cannot be read.
class VmObjects {
public:
    using Values = std::vector<jdwp::Value>;

    explicit VmObjects(jdwp::Pipeline& pipeline) : pipeline_(pipeline) {}

    jdwp::Pipeline& pipeline() { return pipeline_; }

    void layoutOf(jdwp::ObjectId object, std::function<void(const ClassLayout*)> then);
    void layoutOfType(jdwp::ReferenceTypeId type, std::function<void(const ClassLayout*)> then);
    // The named instance fields of an object, in the order named; nullopt when one is missing
    // or the object cannot be read. With `stable`, the values are kept for later reads.
    void read(jdwp::ObjectId object, std::vector<std::string> fieldNames,
              std::function<void(std::optional<Values>)> then, bool stable = false);
    // Instance fields of an object by their layout.
    void readFields(jdwp::ObjectId object, const std::vector<const LayoutField*>& fields,
                    std::function<void(std::optional<Values>)> then, bool stable = false);
    void string(jdwp::StringId string, std::function<void(std::optional<std::string>)> then);
    // The text of a string read before; nullopt when it has not been read.
    std::optional<std::string> knownString(jdwp::StringId string) const;
    void arrayLength(jdwp::ObjectId array, std::function<void(std::optional<std::int32_t>)> then);
    void arrayValues(jdwp::ObjectId array, std::int32_t first, std::int32_t length,
                     std::function<void(std::optional<Values>)> then);

private:
    struct PendingLayout {
        std::vector<std::function<void(const ClassLayout*)>> waiting;
    };
    void buildLayout(jdwp::ReferenceTypeId type);
    void finishLayout(jdwp::ReferenceTypeId type, std::unique_ptr<ClassLayout> layout);
    void trim();

    jdwp::Pipeline& pipeline_;
    // nullptr: the class could not be read.
    std::map<jdwp::ReferenceTypeId, std::unique_ptr<ClassLayout>> layouts_;
    std::map<jdwp::ReferenceTypeId, PendingLayout> building_;
    std::map<jdwp::ObjectId, jdwp::ReferenceTypeId> typeOfObject_;
    std::map<jdwp::StringId, std::string> strings_;
    std::size_t stringBytes_ = 0;
    std::map<jdwp::ObjectId, std::int32_t> lengths_;
    std::map<std::pair<jdwp::ObjectId, jdwp::FieldId>, jdwp::Value> kept_;
};

} // namespace tomcatrunner
