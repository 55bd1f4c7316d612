// Stand-in for the native runtime library, for tests: its start export records what
// it was given into the files named by the environment and returns the result asked
// for, so that a test can check the launcher end to end without a real runtime.

#include "../nqcstartvm.h"
#include "standinenvironment.h"

#include <cstdlib>
#include <fstream>
#include <string>

namespace {

using namespace tracewin::standin;

void writeArgumentVector(const char* path, int argc, char** argv) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (int i = 0; i < argc; ++i) {
        out << argv[i] << '\n';
    }
}

void writeCall(const char* path, int version, const std::int32_t* outField, int options,
               int reserved1, int reserved2, int reserved3, int argc, char** argv) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "version=" << version << '\n'
        << "outField=" << (outField != nullptr ? "set" : "null") << '\n'
        << "options=" << options << '\n'
        << "reserved=" << reserved1 << ',' << reserved2 << ',' << reserved3 << '\n'
        << "argc=" << argc << '\n'
        << "terminated=" << (argv != nullptr && argv[argc] == nullptr ? "yes" : "no") << '\n';
}

int requestedResult() {
    const char* text = std::getenv(RESULT_VARIABLE);
    if (text == nullptr || *text == '\0') {
        return 1;
    }
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    return *end == '\0' ? static_cast<int>(value) : 1;
}

} // namespace

extern "C" __attribute__((visibility("default"))) int
__nqcStartVM(int version, std::int32_t* outField, int options, int reserved1, int reserved2,
             int reserved3, int argc, char** argv) {
    // Fails to compile if the stand-in drifts from the launcher's idea of the export.
    [[maybe_unused]] constexpr NqcStartVmFunction checkSignature = &__nqcStartVM;

    if (const char* path = std::getenv(ARGV_FILE_VARIABLE)) {
        writeArgumentVector(path, argc, argv);
    }
    if (const char* path = std::getenv(CALL_FILE_VARIABLE)) {
        writeCall(path, version, outField, options, reserved1, reserved2, reserved3, argc, argv);
    }
    if (outField != nullptr) {
        *outField = 0;
    }
    return requestedResult();
}
