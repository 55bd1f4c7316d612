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

// Walks a hash table's bins and their chains, all bins of a round at once. A map whose shape
// is as it was at the last walk (see HashShape) is not walked again: only the values of the
// entries the caller wants are read.
class HashWalk : public std::enable_shared_from_this<HashWalk> {
public:
    HashWalk(VmObjects& objects, std::map<jdwp::ObjectId, HashShape>& shapes, std::size_t bound,
             ContainerReader::KeyFilter wanted, ContainerReader::Then then)
        : objects_(objects), shapes_(shapes), bound_(bound), wanted_(std::move(wanted)),
          then_(std::move(then)) {}

    void start(jdwp::ObjectId map, const ClassLayout& layout) {
        map_ = map;
        concurrent_ = layout.isA("java.util.concurrent.ConcurrentHashMap");
        const bool hashtable = !concurrent_ && layout.isA("java.util.Hashtable");
        linked_ = layout.isA("java.util.LinkedHashMap");
        valueField_ = concurrent_ ? "val" : "value";
        // The table, the count, what tells a change of shape, and a linked map's first entry.
        std::vector<std::string> fields{"table"};
        if (concurrent_) {
            fields.insert(fields.end(), {"baseCount", "counterCells"});
        } else {
            fields.insert(fields.end(), {hashtable ? "count" : "size", "modCount"});
        }
        if (linked_) {
            fields.push_back("head");
        }
        ++pending_;
        objects_.read(map, fields, [self = shared_from_this()](auto values) {
            if (!values) {
                self->failed_ = true;
            } else {
                self->begin(*values);
            }
            self->done();
        });
    }

private:
    struct Node {
        jdwp::Value key;
        jdwp::Value value;
    };

    void begin(const Values& v) {
        if (concurrent_) {
            // A count spread over cells is not added up: the entries found count, and the
            // shape cannot be told by the count.
            exactCount_ = v[2].isNull();
            size_ = exactCount_ ? v[1].asLong() : -1;
            stamp_ = v[1].asLong();
        } else {
            size_ = v[1].asInt();
            stamp_ = v[2].asInt();
        }
        if (linked_) {
            head_ = v.back().objectId();
        }
        if (bound_ == 0 || v[0].isNull()) {
            return;
        }
        table_ = v[0].objectId();
        const auto known = shapes_.find(map_);
        const HashShape* shape = known != shapes_.end() && known->second.table == table_ &&
                                         exactCount_ && known->second.stamp == stamp_
                                     ? &known->second
                                     : nullptr;
        if (shape != nullptr && !concurrent_) {
            // A HashMap counts every change of its shape.
            reuse(*shape);
            return;
        }
        ++pending_;
        objects_.arrayLength(table_, [self = shared_from_this(), shape](auto length) {
            if (!length) {
                self->failed_ = true;
            } else {
                self->readBins(*length, shape);
            }
            self->done();
        });
    }

    void readBins(std::int32_t length, const HashShape* shape) {
        ++pending_;
        objects_.arrayValues(table_, 0, std::min(length, MaxTableSlots),
                             [self = shared_from_this(), shape, length](auto bins) {
                                 if (!bins) {
                                     self->failed_ = true;
                                 } else if (shape != nullptr && shape->bins == *bins) {
                                     // A ConcurrentHashMap of single-node bins: with the same bins
                                     // and the same count, no entry came or went.
                                     self->reuse(*shape);
                                 } else {
                                     self->bins_ = std::move(*bins);
                                     self->truncated_ = length > MaxTableSlots;
                                     for (const jdwp::Value& bin : self->bins_) {
                                         if (!bin.isNull()) {
                                             self->visit(bin.objectId());
                                         }
                                     }
                                 }
                                 self->done();
                             });
    }

    void reuse(const HashShape& shape) {
        reused_ = true;
        for (const HashShape::Node& n : shape.nodes) {
            order_.push_back(n.id);
            links_[n.id] = n.after;
            if (wanted_ && !wanted_(n.key)) {
                continue;
            }
            ++pending_;
            objects_.read(n.id, {valueField_},
                          [self = shared_from_this(), id = n.id, key = n.key](auto value) {
                              if (!value) {
                                  self->failed_ = true;
                              } else {
                                  self->found_.emplace(id, Node{key, (*value)[0]});
                              }
                              self->done();
                          });
        }
    }

    void visit(jdwp::ObjectId node) {
        // A linked map's first entries may sit anywhere in the table: a few more are read.
        if (seen_.size() >= bound_ * 4) {
            truncated_ = true;
            return;
        }
        if (!seen_.insert(node).second) {
            return;
        }
        ++pending_;
        objects_.layoutOf(node, [self = shared_from_this(), node](const ClassLayout* layout) {
            if (layout == nullptr) {
                self->failed_ = true;
            } else if (layout->isA(TreeBin)) {
                self->chained_ = true;
                ++self->pending_;
                self->objects_.read(node, {"first"}, [self](auto first) {
                    if (first && !(*first)[0].isNull()) {
                        self->visit((*first)[0].objectId());
                    }
                    self->done();
                });
            } else if (layout->isA(ForwardingNode)) {
                self->truncated_ = true; // being resized: read again next time
            } else {
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
                self->found_.emplace(node, Node{v[0], v[1]});
                self->links_[node] = hasAfter ? v[3].objectId() : 0;
                self->order_.push_back(node);
                if (!v[2].isNull()) {
                    self->chained_ = true;
                    self->visit(v[2].objectId());
                }
            }
            self->done();
        });
    }

    // Keeps the shape of a map walked whole, to skip the walk while it stays.
    void keepShape() {
        if (reused_ || truncated_ || !exactCount_ || (concurrent_ && chained_)) {
            return;
        }
        constexpr std::size_t MaxShapes = 1000;
        if (shapes_.size() >= MaxShapes) {
            shapes_.clear();
        }
        HashShape& shape = shapes_[map_];
        shape.table = table_;
        shape.stamp = stamp_;
        shape.bins = concurrent_ ? bins_ : std::vector<jdwp::Value>{};
        shape.nodes.clear();
        for (const jdwp::ObjectId id : order_) {
            shape.nodes.push_back({id, found_.at(id).key, links_[id]});
        }
    }

    void done() {
        if (--pending_ > 0) {
            return;
        }
        if (failed_) {
            then_(std::nullopt);
            return;
        }
        keepShape();
        ContainerReader::Contents contents;
        contents.isMap = true;
        contents.size = size_ >= 0 ? size_ : static_cast<std::int64_t>(order_.size());
        // A linked map's order is its links' order; others iterate bin by bin.
        std::set<jdwp::ObjectId> placed;
        const auto place = [&](jdwp::ObjectId id) {
            const auto it = found_.find(id);
            if (it != found_.end() && contents.entries.size() < bound_ &&
                placed.insert(id).second) {
                contents.entries.emplace_back(it->second.key, it->second.value);
            }
        };
        std::set<jdwp::ObjectId> followed;
        for (jdwp::ObjectId at = head_; at != 0 && followed.insert(at).second;) {
            place(at);
            const auto link = links_.find(at);
            at = link != links_.end() ? link->second : 0;
        }
        for (const jdwp::ObjectId id : order_) {
            place(id);
        }
        then_(std::move(contents));
    }

    VmObjects& objects_;
    std::map<jdwp::ObjectId, HashShape>& shapes_;
    std::size_t bound_;
    ContainerReader::KeyFilter wanted_;
    ContainerReader::Then then_;
    jdwp::ObjectId map_ = 0;
    bool concurrent_ = false;
    bool linked_ = false;
    std::string valueField_;
    std::int64_t size_ = -1;
    std::int64_t stamp_ = 0;
    bool exactCount_ = true;
    jdwp::ObjectId table_ = 0;
    jdwp::ObjectId head_ = 0;
    std::vector<jdwp::Value> bins_;
    std::map<jdwp::ObjectId, Node> found_;
    std::map<jdwp::ObjectId, jdwp::ObjectId> links_; // each entry's next in a linked map
    std::vector<jdwp::ObjectId> order_;              // bin by bin
    std::set<jdwp::ObjectId> seen_;
    std::size_t pending_ = 0;
    bool failed_ = false;
    bool reused_ = false;
    bool truncated_ = false;
    bool chained_ = false;
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
                           Then then, KeyFilter wanted) {
    // The most derived first: a Properties is a Hashtable, a LinkedHashMap a HashMap.
    for (const Wrapper& wrapper : Wrappers) {
        if (layout.isA(wrapper.className)) {
            readInner(object, wrapper.field, bound, false, std::move(then), std::move(wanted));
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
        readHashed(object, layout, bound, std::move(wanted), std::move(then));
    } else if (layout.isA("java.util.HashSet")) {
        readInner(object, "map", bound, true, std::move(then), {});
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

void ContainerReader::read(jdwp::ObjectId object, std::size_t bound, Then then, KeyFilter wanted) {
    objects_.layoutOf(object, [this, object, bound, then = std::move(then),
                               wanted = std::move(wanted)](const ClassLayout* layout) mutable {
        if (layout == nullptr || !knows(*layout)) {
            then(std::nullopt);
            return;
        }
        read(object, *layout, bound, std::move(then), std::move(wanted));
    });
}

void ContainerReader::readInner(jdwp::ObjectId object, const char* field, std::size_t bound,
                                bool keysOnly, Then then, KeyFilter wanted) {
    objects_.read(object, {field},
                  [this, bound, keysOnly, then = std::move(then),
                   wanted = std::move(wanted)](auto values) mutable {
                      if (!values || (*values)[0].isNull()) {
                          then(std::nullopt);
                          return;
                      }
                      read((*values)[0].objectId(), bound,
                           [keysOnly, then = std::move(then)](auto contents) {
                               if (contents && keysOnly) {
                                   // A hash set is its map's keys.
                                   contents->isMap = false;
                                   for (const auto& [key, value] : contents->entries) {
                                       contents->elements.push_back(key);
                                   }
                                   contents->entries.clear();
                               }
                               then(std::move(contents));
                           },
                           std::move(wanted));
                  });
}

void ContainerReader::readHashed(jdwp::ObjectId object, const ClassLayout& layout,
                                 std::size_t bound, KeyFilter wanted, Then then) {
    std::make_shared<HashWalk>(objects_, shapes_, bound, std::move(wanted), std::move(then))
        ->start(object, layout);
}

} // namespace tomcatrunner
