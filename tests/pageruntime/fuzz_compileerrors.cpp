// libFuzzer target: reads arbitrary bytes as a compiler message and checks that every
// record built from it is read back by the monitor into the same values.
#include "compileerrorrecordcheck.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view message(reinterpret_cast<const char*>(data), size);
    if (std::optional<std::string> fault = tracehook::checks::findUnreadableErrorRecord(message)) {
        std::fprintf(stderr, "%s\n", fault->c_str());
        std::abort();
    }
    return 0;
}
