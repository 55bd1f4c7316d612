#pragma once

#include <string>
#include <string_view>
#include <typeinfo>

namespace tracehook {

// Trace and dump lines on standard output, each one line: the source's class name, then
// "." and the method name when one is given, then ": " and the message. Trace lines appear
// only while the "debug.trace" marker file switched tracing on, dump lines only with
// "debug.dump" (see DebugConstants).
class Tracer {
public:
    template <class T>
    static void trace(const T* source, std::string_view method, std::string_view message) {
        if (enabledTrace())
            print(typeid(*source), method, message);
    }
    static void trace(const std::type_info& source, std::string_view method,
                      std::string_view message);
    // For sources that are named rather than typed (free functions, class-wide operations).
    static void trace(std::string_view className, std::string_view method,
                      std::string_view message);

    template <class T>
    static void dump(const T* source, std::string_view method, std::string_view message) {
        if (enabledDump())
            print(typeid(*source), method, message);
    }
    static void dump(const std::type_info& source, std::string_view method,
                     std::string_view message);
    static void dump(std::string_view className, std::string_view method, std::string_view message);

    // The readable name of a type, namespaces included ("tracehook::JspSourceTable").
    static std::string className(const std::type_info& type);

    // Writes one whole line to standard output and flushes it, so that lines from
    // several threads never interleave.
    static void printLine(std::string_view line);

private:
    static bool enabledTrace();
    static bool enabledDump();
    static void print(const std::type_info& source, std::string_view method,
                      std::string_view message);
    static void print(std::string_view className, std::string_view method,
                      std::string_view message);
};

} // namespace tracehook
