#pragma once

#include "jdwp/types.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// Values of a Java program as Java itself writes them, for a debugger's display.
namespace tomcatrunner::javatext {

// The type a signature names, as Java writes it: "int" for "I", "java.lang.String[]" for
// "[Ljava/lang/String;", "java.util.Map$Entry" for "Ljava/util/Map$Entry;".
std::string typeName(std::string_view signature);

// A primitive value as Java prints it: 3, -7, true, 'c', 1.5, 1.0E10, NaN.
std::string primitiveText(const jdwp::Value& value);
std::string doubleText(double value);
std::string floatText(float value);
// A char as a character literal: 'c', '\n', '\u0000'.
std::string charText(char16_t value);

// A BigInteger from its sign (-1, 0, 1) and magnitude (32-bit words, the most significant
// first): its decimal digits.
std::string bigIntegerText(int signum, std::span<const std::uint32_t> magnitude);
// A BigDecimal from its unscaled value's decimal digits (with a leading "-" when negative)
// and its scale, as BigDecimal.toString writes it: "12.50", "1.2E+3", "0.000001".
std::string bigDecimalText(std::string_view unscaled, std::int32_t scale);

// The text of a character sequence held in a byte array as Java 9 and later hold it
// (a StringBuilder's value): Latin-1 for coder 0, UTF-16 in little-endian order for coder 1.
std::string compactText(std::span<const std::uint8_t> bytes, int coder);

} // namespace tomcatrunner::javatext
