#include "tomcatrunner/vmobjects.h"

#include "tomcatrunner/javatext.h"

#include <algorithm>

namespace tomcatrunner {

namespace {

constexpr std::int32_t AccStatic = 0x0008;
constexpr std::int32_t AccFinal = 0x0010;

// Bounds on what is remembered: objects come and go while a request runs, and an id that is
// no longer used only wastes room, so past a bound the memory starts afresh.
constexpr std::size_t MaxRemembered = 100'000;
constexpr std::size_t MaxStringBytes = 8u << 20;

} // namespace

bool ClassLayout::isA(std::string_view className) const {
    return name == className ||
           std::find(superNames.begin(), superNames.end(), className) != superNames.end();
}

const LayoutField* ClassLayout::instanceField(std::string_view fieldName) const {
    for (auto it = instanceFields.rbegin(); it != instanceFields.rend(); ++it) {
        if (it->info.name == fieldName) {
            return &*it;
        }
    }
    return nullptr;
}

void VmObjects::trim() {
    if (typeOfObject_.size() > MaxRemembered) {
        typeOfObject_.clear();
    }
    if (kept_.size() > MaxRemembered) {
        kept_.clear();
    }
    if (lengths_.size() > MaxRemembered) {
        lengths_.clear();
    }
    if (stringBytes_ > MaxStringBytes) {
        strings_.clear();
        stringBytes_ = 0;
    }
}

void VmObjects::layoutOf(jdwp::ObjectId object, std::function<void(const ClassLayout*)> then) {
    if (const auto known = typeOfObject_.find(object); known != typeOfObject_.end()) {
        layoutOfType(known->second, std::move(then));
        return;
    }
    pipeline_.referenceType(object, [this, object, then = std::move(then)](auto type) mutable {
        if (!type) {
            then(nullptr);
            return;
        }
        trim();
        typeOfObject_[object] = type->second;
        layoutOfType(type->second, std::move(then));
    });
}

void VmObjects::layoutOfType(jdwp::ReferenceTypeId type,
                             std::function<void(const ClassLayout*)> then) {
    if (const auto known = layouts_.find(type); known != layouts_.end()) {
        then(known->second.get());
        return;
    }
    auto [pending, fresh] = building_.try_emplace(type);
    pending->second.waiting.push_back(std::move(then));
    if (fresh) {
        buildLayout(type);
    }
}

void VmObjects::buildLayout(jdwp::ReferenceTypeId type) {
    // The class's own parts in one round; its superclass's layout after them.
    struct Parts {
        std::optional<std::string> signature;
        std::optional<std::vector<jdwp::FieldInfo>> fields;
        jdwp::ClassId superclass = 0;
        int pending = 3;
    };
    auto parts = std::make_shared<Parts>();
    const auto partDone = [this, type, parts] {
        if (--parts->pending > 0) {
            return;
        }
        if (!parts->signature || !parts->fields) {
            finishLayout(type, nullptr);
            return;
        }
        auto layout = std::make_unique<ClassLayout>();
        layout->typeId = type;
        layout->signature = *parts->signature;
        layout->name = javatext::typeName(layout->signature);
        for (const jdwp::FieldInfo& f : *parts->fields) {
            ((f.modBits & AccStatic) != 0 ? layout->staticFields : layout->instanceFields)
                .push_back(LayoutField{f, type});
        }
        if (parts->superclass == 0) {
            finishLayout(type, std::move(layout));
            return;
        }
        layoutOfType(parts->superclass, [this, type,
                                         layout = std::shared_ptr<ClassLayout>(std::move(layout))](
                                            const ClassLayout* super) {
            auto whole = std::make_unique<ClassLayout>(std::move(*layout));
            if (super != nullptr) {
                whole->superNames.push_back(super->name);
                whole->superNames.insert(whole->superNames.end(), super->superNames.begin(),
                                         super->superNames.end());
                whole->instanceFields.insert(whole->instanceFields.begin(),
                                             super->instanceFields.begin(),
                                             super->instanceFields.end());
            }
            finishLayout(type, std::move(whole));
        });
    };
    pipeline_.signature(type, [parts, partDone](auto signature) {
        parts->signature = std::move(signature);
        partDone();
    });
    pipeline_.fields(type, [parts, partDone](auto fields) {
        parts->fields = std::move(fields);
        partDone();
    });
    // An array type or an interface has no superclass to ask for: the VM refuses, which
    // reads as none.
    pipeline_.superclass(type, [parts, partDone](auto superclass) {
        parts->superclass = superclass.value_or(0);
        partDone();
    });
}

void VmObjects::finishLayout(jdwp::ReferenceTypeId type, std::unique_ptr<ClassLayout> layout) {
    const ClassLayout* done = (layouts_[type] = std::move(layout)).get();
    const auto pending = building_.find(type);
    if (pending == building_.end()) {
        return;
    }
    std::vector<std::function<void(const ClassLayout*)>> waiting =
        std::move(pending->second.waiting);
    building_.erase(pending);
    for (auto& then : waiting) {
        then(done);
    }
}

void VmObjects::read(jdwp::ObjectId object, std::vector<std::string> fieldNames,
                     std::function<void(std::optional<Values>)> then, bool stable) {
    layoutOf(object, [this, object, names = std::move(fieldNames), then = std::move(then),
                      stable](const ClassLayout* layout) mutable {
        if (layout == nullptr) {
            then(std::nullopt);
            return;
        }
        std::vector<const LayoutField*> fields;
        for (const std::string& name : names) {
            const LayoutField* f = layout->instanceField(name);
            if (f == nullptr) {
                then(std::nullopt);
                return;
            }
            fields.push_back(f);
        }
        readFields(object, fields, std::move(then), stable);
    });
}

void VmObjects::readFields(jdwp::ObjectId object, const std::vector<const LayoutField*>& fields,
                           std::function<void(std::optional<Values>)> then, bool stable) {
    Values known;
    for (const LayoutField* f : fields) {
        const auto kept = kept_.find({object, f->info.fieldId});
        if (kept == kept_.end()) {
            break;
        }
        known.push_back(kept->second);
    }
    if (known.size() == fields.size()) {
        then(std::move(known));
        return;
    }
    std::vector<jdwp::FieldId> ids;
    std::vector<bool> keep;
    for (const LayoutField* f : fields) {
        ids.push_back(f->info.fieldId);
        keep.push_back(stable || (f->info.modBits & AccFinal) != 0);
    }
    pipeline_.objectValues(object, ids,
                           [this, object, ids, keep, then = std::move(then)](auto values) {
                               if (values && values->size() == ids.size()) {
                                   trim();
                                   for (std::size_t i = 0; i < ids.size(); ++i) {
                                       if (keep[i]) {
                                           kept_[{object, ids[i]}] = (*values)[i];
                                       }
                                   }
                               } else {
                                   values.reset();
                               }
                               then(std::move(values));
                           });
}

void VmObjects::string(jdwp::StringId string,
                       std::function<void(std::optional<std::string>)> then) {
    if (const auto known = strings_.find(string); known != strings_.end()) {
        then(known->second);
        return;
    }
    pipeline_.stringValue(string, [this, string, then = std::move(then)](auto text) {
        if (text) {
            trim();
            stringBytes_ += text->size();
            strings_[string] = *text;
        }
        then(std::move(text));
    });
}

std::optional<std::string> VmObjects::knownString(jdwp::StringId string) const {
    const auto known = strings_.find(string);
    return known != strings_.end() ? std::optional(known->second) : std::nullopt;
}

void VmObjects::arrayLength(jdwp::ObjectId array,
                            std::function<void(std::optional<std::int32_t>)> then) {
    if (const auto known = lengths_.find(array); known != lengths_.end()) {
        then(known->second);
        return;
    }
    pipeline_.arrayLength(array, [this, array, then = std::move(then)](auto length) {
        if (length) {
            trim();
            lengths_[array] = *length;
        }
        then(length);
    });
}

void VmObjects::arrayValues(jdwp::ObjectId array, std::int32_t first, std::int32_t length,
                            std::function<void(std::optional<Values>)> then) {
    if (length <= 0) {
        then(Values{});
        return;
    }
    pipeline_.arrayValues(array, first, length, std::move(then));
}

} // namespace tomcatrunner
