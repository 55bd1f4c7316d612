#pragma once

#include <cstdint>

// The start export of the native runtime library. The launcher calls it with
// NQC_START_VERSION, the address of a four-byte out-field the runtime may fill,
// NQC_START_OPTIONS, three zeros, and the argument vector with its length. A non-zero
// result means the virtual machine started and ran.
extern "C" {
using NqcStartVmFunction = int (*)(int version, std::int32_t* outField, int options, int reserved1,
                                   int reserved2, int reserved3, int argc, char** argv);
}

namespace tracewin {

inline constexpr const char* NQC_START_EXPORT = "__nqcStartVM";
inline constexpr int NQC_START_VERSION = 1;
inline constexpr int NQC_START_OPTIONS = 580;

} // namespace tracewin
