// quillrun: starts the native runtime's virtual machine with the applet viewer as its
// main class. Runtime flags are given as "-J" options anywhere on the command line.

#include "nativeruntime.h"
#include "runtimearguments.h"
#include "tracewin/version.h"

#include <cstdio>
#include <new>
#include <string_view>

namespace {

constexpr int EXIT_STARTED = 0;
constexpr int EXIT_BAD_START = 99;
constexpr int EXIT_USAGE_OR_MEMORY = 1;

constexpr const char* HELP =
    "Usage: quillrun [-J<runtime flag>]... url|file [more arguments...]\n"
    "       quillrun --help | --version\n"
    "\n"
    "Starts the native runtime's virtual machine (libnqc300.so, looked up in\n"
    "LD_LIBRARY_PATH, then in the install's jspvlm/nqc/lib, then in the system's\n"
    "folders) with the applet viewer as its main class. Each -J option, wherever it\n"
    "stands, goes to the runtime without its -J, in front of the main class; the other\n"
    "arguments follow the main class in their order.\n"
    "\n"
    "Exit codes: 0 the runtime started; 1 no url or file given, or no memory; 99 the\n"
    "runtime could not be loaded or did not start.\n";

} // namespace

int main(int argc, char** argv) {
    using tracewin::NativeRuntime;
    using tracewin::RuntimeArguments;

    // Alone on the command line only: anything after a url or file is the runtime's.
    if (argc == 2 && std::string_view(argv[1]) == "--version") {
        std::puts(tracewin::versionLine("quillrun").c_str());
        return EXIT_STARTED;
    }
    if (argc == 2 && std::string_view(argv[1]) == "--help") {
        std::fputs(HELP, stdout);
        return EXIT_STARTED;
    }

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
