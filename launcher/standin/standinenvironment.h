#pragma once

// Environment variables through which a test steers the stand-in runtime library.
namespace tracewin::standin {

// File that receives the argument vector, one entry per line.
inline constexpr const char* ARGV_FILE_VARIABLE = "NQC300_STANDIN_ARGV_FILE";
// File that receives the call's other arguments as key=value lines.
inline constexpr const char* CALL_FILE_VARIABLE = "NQC300_STANDIN_CALL_FILE";
// Decimal value the start export returns; 1 (a successful start) when unset.
inline constexpr const char* RESULT_VARIABLE = "NQC300_STANDIN_RESULT";

} // namespace tracewin::standin
