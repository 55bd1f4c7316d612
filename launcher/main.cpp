// quillrun: starts the native runtime's virtual machine with the applet viewer as its
// main class. Runtime flags are given as "-J" options anywhere on the command line.

#include "nativeruntime.h"
#include "runtimearguments.h"

#include <cstdio>
#include <new>

namespace {

constexpr int EXIT_STARTED = 0;
constexpr int EXIT_BAD_START = 99;
constexpr int EXIT_USAGE_OR_MEMORY = 1;

} // namespace

int main(int argc, char** argv) {
    using tracewin::NativeRuntime;
    using tracewin::RuntimeArguments;

    try {
        std::optional<RuntimeArguments> arguments = RuntimeArguments::fromCommandLine(argc, argv);
        if (!arguments) {
            std::fputs("usage: quillrun [-J<runtime flag>] url|file ...\n", stderr);
            return EXIT_USAGE_OR_MEMORY;
        }
        const std::unique_ptr<NativeRuntime> runtime = NativeRuntime::load();
        return runtime->startVm(*arguments) ? EXIT_STARTED : EXIT_BAD_START;
    } catch (const std::bad_alloc&) {
        std::fputs("*** Not enough memory to start applet viewer ***\n", stderr);
        return EXIT_USAGE_OR_MEMORY;
    } catch (const tracewin::RuntimeLoadError& error) {
        std::fprintf(stderr, "quillrun: %s\n", error.what());
        return EXIT_BAD_START;
    }
}
