#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace bench {

// Produced HTML as pages produce it, in ASCII: elements nested a dozen deep, text and
// entities, a line break after most elements, and now and then an element left open or
// an end tag that closes nothing.
std::string generateHtml(std::size_t bytes, unsigned seed);

// A small page and its generated servlet for the HTML flood to name in its file record.
struct FloodPage {
    std::filesystem::path jsp;
    std::filesystem::path java;
};
FloodPage writeFloodPage(const std::filesystem::path& folder);

// The page runtime's side of the flood: the file record and one line record, then the
// text in `records` "%H" records of equal size (tags cut wherever the cut falls), then the
// page's end; each record waits for its reply. Prints one line per MB sent: its number
// and the milliseconds its records took.
int runHtmlClient(int port, const FloodPage& page, std::size_t totalBytes, std::size_t records);

} // namespace bench
