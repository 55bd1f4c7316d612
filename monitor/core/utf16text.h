#pragma once

#include "text/charsview.h"

#include <string>
#include <string_view>
#include <vector>

namespace tracewin {

// Text between the UTF-8 the page runtime sends and the UTF-16 the views show. Tags and
// most output are ASCII: such text is copied unit by unit in one pass, and only other
// text is decoded or encoded.

// Appends UTF-8 text as UTF-16.
void appendUtf16(std::vector<char16_t>& out, std::string_view utf8);
// Appends UTF-16 text as UTF-8.
void appendUtf8(std::string& out, std::u16string_view utf16);
// Appends text in either form as UTF-8.
void appendUtf8(std::string& out, CharsView text);

} // namespace tracewin
