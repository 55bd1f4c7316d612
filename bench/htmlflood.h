#pragma once

#include "loopback.h"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bench {

// Produced HTML as pages produce it, in ASCII: elements nested a dozen deep, text and
// entities, a line break after most elements unless lineBreaks is false, and now and then
// an element left open or an end tag that closes nothing.
std::string generateHtml(std::size_t bytes, unsigned seed, bool lineBreaks = true);

// The shapes of produced HTML the monitor must show as fast as the wire carries them.
enum class HtmlShape {
    Nested,    // generateHtml in records of 5,000 bytes
    OneLine,   // the same without a single line break
    Lines80,   // lines of 80 characters, tags and text, each ending in "\n"
    Unclosed,  // elements opened and never closed, a little text between
    StrayEnds, // end tags that close nothing, between text
    PerTag,    // one tag in each record
};
// Every shape, in the order they are measured.
const std::vector<HtmlShape>& allHtmlShapes();
std::string_view htmlShapeName(HtmlShape shape);
std::optional<HtmlShape> htmlShapeNamed(std::string_view name);
// Whether the shape's size is given in bytes; the others are given as a count of tags.
bool isSizedInBytes(HtmlShape shape);

// The HTML of each "%H" record of the shape: `bytes` of it in records of 5,000 bytes, or
// `tags` elements (tags in records of 5,000 bytes, or one tag a record for PerTag).
std::vector<std::string> htmlShapeRecords(HtmlShape shape, std::size_t bytes, std::size_t tags);

// A small page and its generated servlet for the HTML flood to name in its file record.
struct FloodPage {
    std::filesystem::path jsp;
    std::filesystem::path java;
};
FloodPage writeFloodPage(const std::filesystem::path& folder);

// What the page runtime sends for the flood, framed: the file record and one line record,
// a "%H" record for each text, then the page's end.
Conversation floodConversation(const FloodPage& page, const std::vector<std::string>& htmlTexts);
// The records before the first "%H": the file record and the line record.
constexpr std::size_t kFloodLeadingRecords = 2;

// The page runtime's side of the flood: sends each record of the conversation file and
// waits for its reply. The clock starts at the reply to the line record (the monitor gives
// it once Fast forward is chosen); after every `reportEvery` further records and after the
// page's end, prints a line: the records answered since then and the milliseconds since.
int runHtmlClient(int port, const std::filesystem::path& conversationFile, std::size_t reportEvery);

} // namespace bench
