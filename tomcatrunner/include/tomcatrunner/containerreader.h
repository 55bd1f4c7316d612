#pragma once

#include "tomcatrunner/vmobjects.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace tomcatrunner {

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

    explicit ContainerReader(VmObjects& objects) : objects_(objects) {}

    // Whether the class is a collection or map it reads.
    static bool knows(const ClassLayout& layout);
    // Reads the size, and with `bound` > 0 up to that many elements or entries.
    void read(jdwp::ObjectId object, const ClassLayout& layout, std::size_t bound, Then then);

private:
    void readList(jdwp::ObjectId object, const char* arrayField, const char* sizeField,
                  std::size_t bound, Then then);
    void readSizeOnly(jdwp::ObjectId object, std::vector<std::string> path, bool isMap, Then then);
    void readInner(jdwp::ObjectId object, const char* field, std::size_t bound, bool keysOnly,
                   Then then);
    void readHashed(jdwp::ObjectId object, const ClassLayout& layout, std::size_t bound, Then then);

    VmObjects& objects_;
};

} // namespace tomcatrunner
