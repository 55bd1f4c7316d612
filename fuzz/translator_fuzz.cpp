// libFuzzer target: translates arbitrary bytes as a JSP page and checks the source map and
// the compile errors (see translationcheck.h).
#include "../tests/pagerunner/translationcheck.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (std::optional<std::string> fault = testsupport::findTranslationFault(text)) {
        std::fprintf(stderr, "%s\n", fault->c_str());
        std::abort();
    }
    return 0;
}
