#pragma once

#include "nqcstartvm.h"

#include <memory>
#include <stdexcept>

namespace tracewin {

class RuntimeArguments;

// A failed attempt to load the native runtime: its library or its start export is
// missing. what() is one line naming what was missing.
class RuntimeLoadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The native runtime library, loaded at run time through the dynamic loader's search
// path, and its virtual-machine start export.
class NativeRuntime {
public:
    // The runtime library's file name on this platform, e.g. "libnqc300.so".
    static const char* libraryName();

    // Throws RuntimeLoadError when the library or its start export cannot be found.
    static std::unique_ptr<NativeRuntime> load();

    ~NativeRuntime();
    NativeRuntime(const NativeRuntime&) = delete;
    NativeRuntime& operator=(const NativeRuntime&) = delete;

    // Starts the virtual machine with the given arguments; true when it reports success.
    bool startVm(RuntimeArguments& arguments) const;

private:
    NativeRuntime(void* handle, NqcStartVmFunction start);

    void* handle_;
    NqcStartVmFunction start_;
};

} // namespace tracewin
