#pragma once

#include "tomcatrunner/vmobjects.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <utility>
#include <vector>

namespace tomcatrunner {

// What a hash map held when it was last walked whole, to tell, from a few fields, that it
// still holds the same keys in the same nodes: then only the values wanted are read again.
// A HashMap or a Hashtable counts each change of its shape (modCount). A ConcurrentHashMap
// whose bins each held one node, and whose table holds the same first nodes and whose exact
// count is the same, has had no entry come or go: an entry added behind a first node would
// have to leave again, or another entry leave, and that changes a bin's first node.
struct HashShape {
    jdwp::ObjectId table = 0;
    std::int64_t stamp = 0;        // modCount, or the exact count
    std::vector<jdwp::Value> bins; // a ConcurrentHashMap's table as read
    struct Node {
        jdwp::ObjectId id = 0;
        jdwp::Value key;
        jdwp::ObjectId after = 0; // the next entry of a linked map
    };
    std::vector<Node> nodes; // bin by bin
};

// Reads what the JDK's collections and maps hold through their fields, so that no method
// runs in the suspended program: the elements of array lists, vectors and hash sets, the
// entries of hash maps (in their iteration order), and the size of linked lists and tree
// maps. A structure that is not as expected (another JDK, a map being resized by another
// thread) reads as nothing.
class ContainerReader {
public:
    struct Contents {
        std::int64_t size = 0;
        bool isMap = false;
        // The elements or entries read, at most the bound asked for; none when only the
        // size was asked for or can be read.
        std::vector<jdwp::Value> elements;
        std::vector<std::pair<jdwp::Value, jdwp::Value>> entries;
    };
    using Then = std::function<void(std::optional<Contents>)>;
    // Whether the caller wants the entry of a key; false when it can tell at once that it
    // does not (a key it has read before).
    using KeyFilter = std::function<bool(const jdwp::Value& key)>;

    explicit ContainerReader(VmObjects& objects) : objects_(objects) {}

    // Whether the class is a collection or map it reads.
    static bool knows(const ClassLayout& layout);
    // Reads the size, and with `bound` > 0 up to that many elements or entries. Entries of
    // a map whose keys `wanted` turns down may be left out.
    void read(jdwp::ObjectId object, const ClassLayout& layout, std::size_t bound, Then then,
              KeyFilter wanted = {});
    // The same for an object whose class is not known yet: nothing when it is not a
    // collection or map it reads.
    void read(jdwp::ObjectId object, std::size_t bound, Then then, KeyFilter wanted = {});

private:
    void readList(jdwp::ObjectId object, const char* arrayField, const char* sizeField,
                  std::size_t bound, Then then);
    void readSizeOnly(jdwp::ObjectId object, std::vector<std::string> path, bool isMap, Then then);
    void readInner(jdwp::ObjectId object, const char* field, std::size_t bound, bool keysOnly,
                   Then then, KeyFilter wanted);
    void readHashed(jdwp::ObjectId object, const ClassLayout& layout, std::size_t bound,
                    KeyFilter wanted, Then then);

    VmObjects& objects_;
    std::map<jdwp::ObjectId, HashShape> shapes_;
};

} // namespace tomcatrunner
