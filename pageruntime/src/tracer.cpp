#include "tracehook/tracer.h"

#include "tracehook/debugconstants.h"

#include <cstdio>
#include <cstdlib>
#include <cxxabi.h>
#include <memory>
#include <mutex>

namespace tracehook {
namespace {
std::mutex outputMutex;
}

std::string Tracer::className(const std::type_info& type) {
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> demangled(
        abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), std::free);
    return status == 0 && demangled ? std::string(demangled.get()) : std::string(type.name());
}

void Tracer::printLine(std::string_view line) {
    std::lock_guard lock(outputMutex);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

bool Tracer::enabledTrace() {
    return DebugConstants::getTrace();
}
bool Tracer::enabledDump() {
    return DebugConstants::getDump();
}

void Tracer::print(const std::type_info& source, std::string_view method,
                   std::string_view message) {
    print(className(source), method, message);
}

void Tracer::print(std::string_view name, std::string_view method, std::string_view message) {
    std::string line(name);
    if (!method.empty()) {
        line += '.';
        line += method;
    }
    line += ": ";
    line += message;
    printLine(line);
}

void Tracer::trace(const std::type_info& source, std::string_view method,
                   std::string_view message) {
    if (enabledTrace())
        print(source, method, message);
}
void Tracer::trace(std::string_view name, std::string_view method, std::string_view message) {
    if (enabledTrace())
        print(name, method, message);
}
void Tracer::dump(const std::type_info& source, std::string_view method, std::string_view message) {
    if (enabledDump())
        print(source, method, message);
}
void Tracer::dump(std::string_view name, std::string_view method, std::string_view message) {
    if (enabledDump())
        print(name, method, message);
}

} // namespace tracehook
