#include "tomcatrunner/valuedescriber.h"

#include "tomcatrunner/javatext.h"

#include <algorithm>
#include <limits>

namespace tomcatrunner {

namespace {

using tracehook::PageVariables;
using Values = VmObjects::Values;

constexpr std::int32_t AccSynthetic = 0x1000;
// The value shown for what could not be read (an object collected meanwhile).
constexpr const char* NotReadable = "(not readable)";

// Classes whose "value" field is what they stand for.
constexpr const char* ValueHolders[] = {
    "java.lang.Integer",
    "java.lang.Long",
    "java.lang.Short",
    "java.lang.Byte",
    "java.lang.Double",
    "java.lang.Float",
    "java.lang.Boolean",
    "java.lang.Character",
    "java.util.concurrent.atomic.AtomicInteger",
    "java.util.concurrent.atomic.AtomicLong",
};

// "int[3]" for an int[] of three, "java.lang.String[2][]" for a String[][] of two.
std::string arrayText(const std::string& typeName, std::int32_t length) {
    const std::size_t brackets = typeName.find("[]");
    if (brackets == std::string::npos) {
        return typeName;
    }
    return typeName.substr(0, brackets) + "[" + std::to_string(length) + "]" +
           typeName.substr(brackets + 2);
}

} // namespace

void ValueDescriber::describe(const jdwp::Value& value, VariableNode& node, bool withChildren) {
    if (!value.isObject()) {
        node.setValue(javatext::primitiveText(value));
        if (node.type.empty()) {
            node.type = javatext::typeName(std::string(1, static_cast<char>(value.tag)));
        }
        return;
    }
    if (value.isNull()) {
        node.setValue("null");
        return;
    }
    if (value.tag == jdwp::Tag::String) {
        if (node.type.empty()) {
            node.type = "java.lang.String";
        }
        describeString(value.objectId(), node);
        return;
    }
    const jdwp::ObjectId object = value.objectId();
    objects_.layoutOf(object, [this, object, &node, withChildren](const ClassLayout* layout) {
        if (layout == nullptr) {
            node.setValue(NotReadable);
            return;
        }
        if (node.type.empty()) {
            node.type = layout->name;
        }
        if (layout->isArray()) {
            describeArray(object, *layout, node, withChildren);
            return;
        }
        if (describeByValue(object, *layout, node)) {
            return;
        }
        if (ContainerReader::knows(*layout)) {
            describeContainer(object, *layout, node, withChildren);
            return;
        }
        node.setValue(layout->name + "@" + std::to_string(object));
        if (withChildren) {
            describeFields(object, *layout, node);
        }
    });
}

void ValueDescriber::describeString(jdwp::StringId string, VariableNode& node) {
    objects_.string(string, [&node](auto text) {
        if (!text) {
            node.setValue(NotReadable);
            return;
        }
        node.text = *text;
        node.setValue(PageVariables::quoted(*text));
    });
}

void ValueDescriber::describeArray(jdwp::ObjectId array, const ClassLayout& layout,
                                   VariableNode& node, bool withChildren) {
    const std::string component = layout.name.substr(0, layout.name.size() - 2);
    const bool primitive = layout.signature.size() == 2;
    objects_.arrayLength(array, [this, array, name = layout.name, component, primitive, &node,
                                 withChildren](auto length) {
        if (!length) {
            node.setValue(NotReadable);
            return;
        }
        node.setValue(arrayText(name, *length));
        if (!withChildren) {
            return;
        }
        const auto shown =
            static_cast<std::int32_t>(std::min<std::int64_t>(*length, PageVariables::maxChildren));
        objects_.arrayValues(array, 0, shown, [this, component, primitive, &node](auto elements) {
            if (!elements) {
                return;
            }
            for (std::size_t i = 0; i < elements->size(); ++i) {
                VariableNode& child =
                    node.addChild("[" + std::to_string(i) + "]", primitive ? component : "");
                describe((*elements)[i], child, false);
            }
        });
    });
}

bool ValueDescriber::describeByValue(jdwp::ObjectId object, const ClassLayout& layout,
                                     VariableNode& node) {
    for (const char* holder : ValueHolders) {
        if (layout.name == holder) {
            objects_.read(object, {"value"}, [&node](auto values) {
                node.setValue(values ? javatext::primitiveText((*values)[0]) : NotReadable);
            });
            return true;
        }
    }
    if (layout.isA("java.lang.Enum")) {
        objects_.read(object, {"name"}, [this, &node](auto values) {
            if (!values || (*values)[0].isNull()) {
                node.setValue(NotReadable);
                return;
            }
            objects_.string((*values)[0].objectId(),
                            [&node](auto name) { node.setValue(name.value_or(NotReadable)); });
        });
        return true;
    }
    if (layout.name == "java.math.BigInteger") {
        describeBigInteger(object, node, 0, false);
        return true;
    }
    if (layout.name == "java.math.BigDecimal") {
        objects_.read(object, {"intCompact", "scale", "intVal"}, [this, &node](auto values) {
            if (!values) {
                node.setValue(NotReadable);
                return;
            }
            const std::int64_t compact = (*values)[0].asLong();
            const std::int32_t scale = (*values)[1].asInt();
            // Long.MIN_VALUE marks a value too large for a long, held as a BigInteger.
            if (compact != std::numeric_limits<std::int64_t>::min()) {
                node.setValue(javatext::bigDecimalText(std::to_string(compact), scale));
            } else if (!(*values)[2].isNull()) {
                describeBigInteger((*values)[2].objectId(), node, scale, true);
            } else {
                node.setValue(NotReadable);
            }
        });
        return true;
    }
    if (layout.isA("java.lang.AbstractStringBuilder")) {
        objects_.read(object, {"value", "coder", "count"}, [this, &node](auto values) {
            if (!values || (*values)[0].isNull()) {
                node.setValue(NotReadable);
                return;
            }
            const int coder = (*values)[1].asByte();
            // A few more characters than are shown, to know that the text was cut.
            const std::int64_t chars =
                std::min<std::int64_t>((*values)[2].asInt(), PageVariables::maxValueBytes + 1);
            objects_.arrayValues(
                (*values)[0].objectId(), 0, static_cast<std::int32_t>(chars << coder),
                [&node, coder](auto bytes) {
                    if (!bytes) {
                        node.setValue(NotReadable);
                        return;
                    }
                    std::vector<std::uint8_t> raw;
                    for (const jdwp::Value& b : *bytes) {
                        raw.push_back(static_cast<std::uint8_t>(b.asByte()));
                    }
                    node.setValue(PageVariables::quoted(javatext::compactText(raw, coder)));
                });
        });
        return true;
    }
    return false;
}

void ValueDescriber::describeBigInteger(jdwp::ObjectId object, VariableNode& node,
                                        std::int32_t scale, bool asDecimal) {
    objects_.read(object, {"signum", "mag"}, [this, &node, scale, asDecimal](auto values) {
        if (!values || (*values)[1].isNull()) {
            node.setValue(NotReadable);
            return;
        }
        const int signum = (*values)[0].asInt();
        const jdwp::ObjectId mag = (*values)[1].objectId();
        objects_.arrayLength(mag, [this, mag, signum, scale, asDecimal, &node](auto length) {
            if (!length) {
                node.setValue(NotReadable);
                return;
            }
            objects_.arrayValues(mag, 0, *length, [signum, scale, asDecimal, &node](auto words) {
                if (!words) {
                    node.setValue(NotReadable);
                    return;
                }
                std::vector<std::uint32_t> magnitude;
                for (const jdwp::Value& w : *words) {
                    magnitude.push_back(static_cast<std::uint32_t>(w.asInt()));
                }
                const std::string digits = javatext::bigIntegerText(signum, magnitude);
                node.setValue(asDecimal ? javatext::bigDecimalText(digits, scale) : digits);
            });
        });
    });
}

void ValueDescriber::describeContainer(jdwp::ObjectId object, const ClassLayout& layout,
                                       VariableNode& node, bool withChildren) {
    const std::size_t bound = withChildren ? PageVariables::maxChildren : 0;
    containers_.read(object, layout, bound,
                     [this, object, name = layout.name, &node](auto contents) {
                         if (!contents) {
                             // Not as expected: shown as any other object.
                             node.setValue(name + "@" + std::to_string(object));
                             return;
                         }
                         node.setValue(name + " (size " + std::to_string(contents->size) + ")");
                         for (std::size_t i = 0; i < contents->elements.size(); ++i) {
                             describe(contents->elements[i],
                                      node.addChild("[" + std::to_string(i) + "]"), false);
                         }
                         for (const auto& [key, value] : contents->entries) {
                             VariableNode& entry = node.addChild();
                             entry.key = std::make_unique<VariableNode>();
                             describe(key, *entry.key, false);
                             describe(value, entry, false);
                         }
                     });
}

void ValueDescriber::describeFields(jdwp::ObjectId object, const ClassLayout& layout,
                                    VariableNode& node) {
    std::vector<const LayoutField*> fields;
    for (const LayoutField& f : layout.instanceFields) {
        if ((f.info.modBits & AccSynthetic) == 0 && fields.size() < PageVariables::maxChildren) {
            fields.push_back(&f);
        }
    }
    if (fields.empty()) {
        return;
    }
    objects_.readFields(object, fields, [this, fields, &node](auto values) {
        if (!values) {
            return;
        }
        for (std::size_t i = 0; i < fields.size(); ++i) {
            VariableNode& child =
                node.addChild(fields[i]->info.name, javatext::typeName(fields[i]->info.signature));
            describe((*values)[i], child, false);
        }
    });
}

} // namespace tomcatrunner
