#include "nativeruntime.h"

#include "runtimearguments.h"

#include <cstdint>
#include <dlfcn.h>

namespace tracewin {

namespace {

std::string lastLoaderError() {
    const char* error = dlerror();
    return error != nullptr ? error : "unknown error";
}

} // namespace

const char* NativeRuntime::libraryName() {
    return NQC300_LIBRARY_NAME;
}

std::unique_ptr<NativeRuntime> NativeRuntime::load() {
    // The runtime may leave threads of its own running when the start call returns,
    // so the library must never be unmapped under them: RTLD_NODELETE.
    void* handle = dlopen(libraryName(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (handle == nullptr) {
        throw RuntimeLoadError(std::string("cannot load the runtime library ") + libraryName() +
                               " (" + lastLoaderError() + ")");
    }
    dlerror();
    void* symbol = dlsym(handle, NQC_START_EXPORT);
    if (symbol == nullptr) {
        dlclose(handle);
        throw RuntimeLoadError(std::string("the runtime library ") + libraryName() +
                               " has no export " + NQC_START_EXPORT);
    }
    return std::unique_ptr<NativeRuntime>(
        new NativeRuntime(handle, reinterpret_cast<NqcStartVmFunction>(symbol)));
}

NativeRuntime::NativeRuntime(void* handle, NqcStartVmFunction start)
    : handle_(handle), start_(start) {}

NativeRuntime::~NativeRuntime() {
    dlclose(handle_);
}

bool NativeRuntime::startVm(RuntimeArguments& arguments) const {
    std::int32_t outField = 0;
    return start_(NQC_START_VERSION, &outField, NQC_START_OPTIONS, 0, 0, 0, arguments.count(),
                  arguments.vector()) != 0;
}

} // namespace tracewin
