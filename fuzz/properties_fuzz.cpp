// Properties text: parsing, and writing what was read must read back the same.
#include "tracehook/properties.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    tracehook::Properties props = tracehook::Properties::parse(text);
    tracehook::Properties again = tracehook::Properties::parse(props.toText());
    if (again.entries() != props.entries())
        std::abort();
    return 0;
}
