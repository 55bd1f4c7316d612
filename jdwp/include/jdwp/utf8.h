#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace jdwp {

// The VM's strings are UTF-16; ours are UTF-8. One place for the conversions.

// Appends a code point as UTF-8. A surrogate or a value past U+10FFFF is appended as
// U+FFFD.
void appendUtf8(std::string& out, std::uint32_t codePoint);

// UTF-16 units as UTF-8; a lone surrogate becomes U+FFFD.
std::string utf16ToUtf8(std::u16string_view units);

// Decodes UTF-8 from `from` on into UTF-16 units, stopping before an incomplete sequence at
// the end (for text that arrives in pieces); a malformed sequence becomes U+FFFD. Returns
// where decoding stopped.
std::size_t appendUtf16(std::string_view bytes, std::size_t from, std::u16string& out);

} // namespace jdwp
