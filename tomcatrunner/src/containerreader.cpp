#include "tomcatrunner/containerreader.h"

#include <algorithm>
#include <map>
#include <memory>
#include <set>

namespace tomcatrunner {

namespace {

using Values = VmObjects::Values;

// Slots of a hash table looked at: a map far larger than the entries shown is read in part.
constexpr std::int32_t MaxTableSlots = 4096;
// ConcurrentHashMap's nodes that hold no entry of their own.
constexpr const char* TreeBin = "java.util.concurrent.ConcurrentHashMap$TreeBin";
constexpr const char* ForwardingNode = "java.util.concurrent.ConcurrentHashMap$ForwardingNode";

// Lists whose elements sit in an array: the array's field and the field that counts them
// (none: the array's length).
struct ArrayList {
    const char* className;
    const char* arrayField;
    const char* sizeField;
};
constexpr ArrayList ArrayLists[] = {
    {"java.util.ArrayList", "elementData", "size"},
    {"java.util.Vector", "elementData", "elementCount"},
    {"java.util.Arrays$ArrayList", "a", nullptr},
    {"java.util.ImmutableCollections$ListN", "elements", nullptr},
    {"java.util.concurrent.CopyOnWriteArrayList", "array", nullptr},
};

// Wrappers that hold another collection or map in a field.
struct Wrapper {
    const char* className;
    const char* field;
};
constexpr Wrapper Wrappers[] = {
    {"java.util.Collections$UnmodifiableCollection", "c"},
    {"java.util.Collections$UnmodifiableMap", "m"},
    {"java.util.Collections$SynchronizedCollection", "c"},
    {"java.util.Collections$SynchronizedMap", "m"},
    {"java.util.Properties", "map"},
};

bool isHashed(const ClassLayout& layout) {
    return layout.isA("java.util.HashMap") || layout.isA("java.util.Hashtable") ||
           layout.isA("java.util.concurrent.ConcurrentHashMap");
}

// Walks a hash table's bins and their chains, all bins of a round at once.
class HashWalk : public std::enable_shared_from_this<HashWalk> {
public:
    HashWalk(VmObjects& objects, std::size_t bound, ContainerReader::Then then)
        : objects_(objects), bound_(bound), then_(std::move(then)) {}

    void start(jdwp::ObjectId map, const ClassLayout& layout) {
        const bool concurrent = layout.isA("java.util.concurrent.ConcurrentHashMap");
        const bool hashtable = !concurrent && layout.isA("java.util.Hashtable");
        linked_ = layout.isA("java.util.LinkedHashMap");
        valueField_ = concurrent ? "val" : "value";
        std::vector<std::string> fields{"table"};
        if (concurrent) {
            fields.insert(fields.end(), {"baseCount", "counterCells"});
        } else {
            fields.push_back(hashtable ? "count" : "size");
        }
        if (linked_) {
            fields.push_back("head");
        }
        ++pending_;
        objects_.read(map, fields, [self = shared_from_this(), concurrent](auto values) {
            if (!values) {
                self->failed_ = true;
            } else {
                const Values& v = *values;
                if (concurrent) {
                    // A count spread over cells is not added up: the entries found count.
                    self->size_ = v[2].isNull() ? v[1].asLong() : -1;
                } else {
                    self->size_ = v[1].asInt();
                }
                if (self->linked_) {
                    self->head_ = v.back().objectId();
                }
                if (self->bound_ > 0 && !v[0].isNull()) {
                    self->readTable(v[0].objectId());
                }
            }
            self->done();
        });
    }

private:
    struct Node {
        jdwp::Value key;
        jdwp::Value value;
        jdwp::ObjectId after = 0;
    };

    void readTable(jdwp::ObjectId table) {
        ++pending_;
        objects_.arrayLength(table, [self = shared_from_this(), table](auto length) {
            if (!length) {
                self->failed_ = true;
            } else {
                ++self->pending_;
                self->objects_.arrayValues(table, 0, std::min(*length, MaxTableSlots),
                                           [self](auto bins) {
                                               if (!bins) {
                                                   self->failed_ = true;
                                               } else {
                                                   for (const jdwp::Value& bin : *bins) {
                                                       if (!bin.isNull()) {
                                                           self->visit(bin.objectId());
                                                       }
                                                   }
                                               }
                                               self->done();
                                           });
            }
            self->done();
        });
    }

    void visit(jdwp::ObjectId node) {
        // A linked map's first entries may sit anywhere in the table: a few more are read.
        if (seen_.size() >= bound_ * 4 || !seen_.insert(node).second) {
            return;
        }
        ++pending_;
        objects_.layoutOf(node, [self = shared_from_this(), node](const ClassLayout* layout) {
            if (layout == nullptr) {
                self->failed_ = true;
            } else if (layout->isA(TreeBin)) {
                ++self->pending_;
                self->objects_.read(node, {"first"}, [self](auto first) {
                    if (first && !(*first)[0].isNull()) {
                        self->visit((*first)[0].objectId());
                    }
                    self->done();
                });
            } else if (!layout->isA(ForwardingNode)) {
                self->readNode(node, *layout);
            }
            self->done();
        });
    }

    void readNode(jdwp::ObjectId node, const ClassLayout& layout) {
        std::vector<std::string> fields{"key", valueField_, "next"};
        const bool hasAfter = layout.instanceField("after") != nullptr;
        if (hasAfter) {
            fields.push_back("after");
        }
        ++pending_;
        objects_.read(node, fields, [self = shared_from_this(), node, hasAfter](auto values) {
            if (!values) {
                self->failed_ = true;
            } else {
                const Values& v = *values;
                self->found_.emplace(node, Node{v[0], v[1], hasAfter ? v[3].objectId() : 0});
                self->order_.push_back(node);
                if (!v[2].isNull()) {
                    self->visit(v[2].objectId());
                }
            }
            self->done();
        });
    }

    void done() {
        if (--pending_ > 0) {
            return;
        }
        if (failed_) {
            then_(std::nullopt);
            return;
        }
        ContainerReader::Contents contents;
        contents.isMap = true;
        contents.size = size_ >= 0 ? size_ : static_cast<std::int64_t>(found_.size());
        // A linked map's order is its links' order; others iterate bin by bin.
        std::set<jdwp::ObjectId> placed;
        const auto place = [&](jdwp::ObjectId id) {
            const auto it = found_.find(id);
            if (it != found_.end() && contents.entries.size() < bound_ &&
                placed.insert(id).second) {
                contents.entries.emplace_back(it->second.key, it->second.value);
                return true;
            }
            return false;
        };
        for (jdwp::ObjectId at = head_; at != 0 && place(at);) {
            at = found_.at(at).after;
        }
        for (const jdwp::ObjectId id : order_) {
            place(id);
        }
        then_(std::move(contents));
    }

    VmObjects& objects_;
    std::size_t bound_;
    ContainerReader::Then then_;
    std::string valueField_;
    bool linked_ = false;
    std::int64_t size_ = -1;
    jdwp::ObjectId head_ = 0;
    std::map<jdwp::ObjectId, Node> found_;
    std::vector<jdwp::ObjectId> order_; // as found, bin by bin
    std::set<jdwp::ObjectId> seen_;
    std::size_t pending_ = 0;
    bool failed_ = false;
};

} // namespace

bool ContainerReader::knows(const ClassLayout& layout) {
    for (const ArrayList& list : ArrayLists) {
        if (layout.isA(list.className)) {
            return true;
        }
    }
    for (const Wrapper& wrapper : Wrappers) {
        if (layout.isA(wrapper.className)) {
            return true;
        }
    }
    return isHashed(layout) || layout.isA("java.util.HashSet") ||
           layout.isA("java.util.LinkedList") || layout.isA("java.util.TreeMap") ||
           layout.isA("java.util.TreeSet");
}

void ContainerReader::read(jdwp::ObjectId object, const ClassLayout& layout, std::size_t bound,
                           Then then) {
    // The most derived first: a Properties is a Hashtable, a LinkedHashMap a HashMap.
    for (const Wrapper& wrapper : Wrappers) {
        if (layout.isA(wrapper.className)) {
            readInner(object, wrapper.field, bound, false, std::move(then));
            return;
        }
    }
    for (const ArrayList& list : ArrayLists) {
        if (layout.isA(list.className)) {
            readList(object, list.arrayField, list.sizeField, bound, std::move(then));
            return;
        }
    }
    if (isHashed(layout)) {
        readHashed(object, layout, bound, std::move(then));
    } else if (layout.isA("java.util.HashSet")) {
        readInner(object, "map", bound, true, std::move(then));
    } else if (layout.isA("java.util.LinkedList")) {
        readSizeOnly(object, {"size"}, false, std::move(then));
    } else if (layout.isA("java.util.TreeMap")) {
        readSizeOnly(object, {"size"}, true, std::move(then));
    } else if (layout.isA("java.util.TreeSet")) {
        readSizeOnly(object, {"m", "size"}, false, std::move(then));
    } else {
        then(std::nullopt);
    }
}

void ContainerReader::readList(jdwp::ObjectId object, const char* arrayField, const char* sizeField,
                               std::size_t bound, Then then) {
    std::vector<std::string> fields{arrayField};
    if (sizeField != nullptr) {
        fields.emplace_back(sizeField);
    }
    objects_.read(object, fields, [this, bound, then = std::move(then)](auto values) mutable {
        if (!values || (*values)[0].isNull()) {
            then(std::nullopt);
            return;
        }
        const jdwp::ObjectId array = (*values)[0].objectId();
        const std::optional<std::int32_t> counted =
            values->size() > 1 ? std::optional((*values)[1].asInt()) : std::nullopt;
        objects_.arrayLength(array, [this, array, counted, bound,
                                     then = std::move(then)](auto length) mutable {
            if (!length) {
                then(std::nullopt);
                return;
            }
            Contents contents;
            contents.size = counted.value_or(*length);
            const auto wanted = static_cast<std::int32_t>(
                std::min<std::int64_t>({contents.size, *length, static_cast<std::int64_t>(bound)}));
            objects_.arrayValues(
                array, 0, wanted,
                [contents = std::move(contents), then = std::move(then)](auto elements) mutable {
                    if (!elements) {
                        then(std::nullopt);
                        return;
                    }
                    contents.elements = std::move(*elements);
                    then(std::move(contents));
                });
        });
    });
}

void ContainerReader::readSizeOnly(jdwp::ObjectId object, std::vector<std::string> path, bool isMap,
                                   Then then) {
    // Each name but the last leads to another object; the last is the size.
    objects_.read(object, {path.front()},
                  [this, path, isMap, then = std::move(then)](auto values) mutable {
                      if (!values) {
                          then(std::nullopt);
                          return;
                      }
                      const jdwp::Value& v = (*values)[0];
                      if (path.size() > 1) {
                          if (v.isNull()) {
                              then(std::nullopt);
                              return;
                          }
                          path.erase(path.begin());
                          readSizeOnly(v.objectId(), std::move(path), isMap, std::move(then));
                          return;
                      }
                      Contents contents;
                      contents.isMap = isMap;
                      contents.size = v.asInt();
                      then(std::move(contents));
                  });
}

void ContainerReader::readInner(jdwp::ObjectId object, const char* field, std::size_t bound,
                                bool keysOnly, Then then) {
    objects_.read(
        object, {field}, [this, bound, keysOnly, then = std::move(then)](auto values) mutable {
            if (!values || (*values)[0].isNull()) {
                then(std::nullopt);
                return;
            }
            const jdwp::ObjectId inner = (*values)[0].objectId();
            objects_.layoutOf(inner, [this, inner, bound, keysOnly,
                                      then = std::move(then)](const ClassLayout* layout) mutable {
                if (layout == nullptr || !knows(*layout)) {
                    then(std::nullopt);
                    return;
                }
                read(inner, *layout, bound, [keysOnly, then = std::move(then)](auto contents) {
                    if (contents && keysOnly) {
                        // A hash set is its map's keys.
                        contents->isMap = false;
                        for (const auto& [key, value] : contents->entries) {
                            contents->elements.push_back(key);
                        }
                        contents->entries.clear();
                    }
                    then(std::move(contents));
                });
            });
        });
}

void ContainerReader::readHashed(jdwp::ObjectId object, const ClassLayout& layout,
                                 std::size_t bound, Then then) {
    std::make_shared<HashWalk>(objects_, bound, std::move(then))->start(object, layout);
}

} // namespace tomcatrunner
