// Message templates formatted with a few arguments.
#include "core/monitormessagefile.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view templ(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> args = {"first", "", "%1", "%%"};
    (void)tracewin::MonitorMessageFile::format(templ, args);
    (void)tracewin::MonitorMessageFile::format(templ, {});
    return 0;
}
