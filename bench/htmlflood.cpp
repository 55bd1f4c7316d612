#include "htmlflood.h"

#include "loopback.h"
#include "tracehook/jspsourcetable.h"
#include "tracehook/pageruntimerecords.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <optional>
#include <random>

namespace bench {

namespace {

constexpr std::size_t kRecordBytes = 5000;
constexpr unsigned kSeed = 7;

constexpr std::array<const char*, 12> kElements = {"div", "table", "tr",   "td", "ul", "li",
                                                   "p",   "span",  "font", "b",  "i",  "a"};
constexpr std::array<const char*, 8> kWords = {"row",   "value",     "total", "&amp;",
                                               "price", "&lt;x&gt;", "item",  "42"};
constexpr std::array<const char*, 8> kLeftOpen = {"div", "span", "td", "p",
                                                  "li",  "font", "b",  "table"};
constexpr std::array<const char*, 8> kStrayEnds = {"</blink>", "</span>", "</div>", "</td>",
                                                   "</table>", "</p>",    "</li>",  "</font>"};

// Random picks of one generator, so that each shape is the same in every run.
class Picker {
public:
    explicit Picker(unsigned seed) : random_(seed) {}
    std::size_t pick(std::size_t n) { return static_cast<std::size_t>(random_() % n); }
    template <class T, std::size_t N> T one(const std::array<T, N>& from) { return from[pick(N)]; }

private:
    std::mt19937 random_;
};

// Nested HTML one piece at a time, in the order a page writes it.
class NestedPieces {
public:
    NestedPieces(unsigned seed, bool lineBreaks) : random_(seed), lineBreaks_(lineBreaks) {}

    // Appends the next piece: a start tag; an end tag (or nothing, for an element left
    // open) and the line break that follows some; an end tag that closes nothing; or a
    // word. True when the piece holds a tag.
    bool appendNext(std::string& html) {
        const std::size_t choice = random_.pick(100);
        if (choice < 40 && open_.size() < 14) {
            const char* tag = random_.one(kElements);
            html += '<';
            html += tag;
            if (tag[0] == 'a' || choice < 5)
                html += " href=\"page.jsp?id=" + std::to_string(random_.pick(1000)) + "\"";
            html += '>';
            open_.push_back(tag);
            return true;
        }
        if (choice < 75 && !open_.empty()) {
            // Most elements close; a few are left open, as <p> and <li> often are.
            const bool closes = random_.pick(20) != 0;
            if (closes) {
                html += "</";
                html += open_.back();
                html += '>';
            }
            open_.pop_back();
            if (random_.pick(6) == 0 && lineBreaks_) // lines of about a hundred characters
                html += '\n';
            return closes;
        }
        if (choice < 78) {
            html += "</blink>"; // closes nothing
            return true;
        }
        html += random_.one(kWords);
        html += ' ';
        return false;
    }

private:
    Picker random_;
    bool lineBreaks_;
    std::vector<const char*> open_;
};

// Nested HTML in lines of exactly 80 characters: the pieces that fit, spaces to the width.
std::string generateLines80(std::size_t bytes, unsigned seed) {
    constexpr std::size_t kWidth = 80; // the line feed included
    NestedPieces pieces(seed, false);
    std::string html, line, piece;
    html.reserve(bytes + kWidth);
    while (html.size() < bytes) {
        piece.clear();
        pieces.appendNext(piece);
        if (line.size() + piece.size() >= kWidth) {
            line.resize(kWidth - 1, ' ');
            html += line;
            html += '\n';
            line.clear();
        }
        line += piece;
    }
    html.resize(bytes);
    return html;
}

// Elements opened and never closed, a word after each, a line break after some.
std::string generateUnclosed(std::size_t elements, unsigned seed) {
    Picker random(seed);
    std::string html;
    for (std::size_t i = 0; i < elements; ++i) {
        html += '<';
        html += random.one(kLeftOpen);
        html += '>';
        html += random.one(kWords);
        html += ' ';
        if (random.pick(6) == 0)
            html += '\n';
    }
    return html;
}

// End tags with nothing open to close, between words, a line break after some.
std::string generateStrayEnds(std::size_t bytes, unsigned seed) {
    Picker random(seed);
    std::string html;
    html.reserve(bytes + 64);
    while (html.size() < bytes) {
        html += random.one(kStrayEnds);
        if (random.pick(2) == 0) {
            html += random.one(kWords);
            html += ' ';
        }
        if (random.pick(6) == 0)
            html += '\n';
    }
    html.resize(bytes);
    return html;
}

// The tags of nested HTML, one a record, each with the line break that follows it.
std::vector<std::string> perTagRecords(std::size_t tags, unsigned seed) {
    NestedPieces pieces(seed, true);
    std::vector<std::string> records;
    records.reserve(tags);
    std::string piece;
    while (records.size() < tags) {
        piece.clear();
        if (pieces.appendNext(piece))
            records.push_back(piece);
    }
    return records;
}

// The text in records of kRecordBytes, tags cut wherever the cut falls.
std::vector<std::string> cutIntoRecords(std::string_view html) {
    std::vector<std::string> records;
    for (std::size_t at = 0; at < html.size(); at += kRecordBytes)
        records.emplace_back(html.substr(at, kRecordBytes));
    return records;
}

struct NamedShape {
    HtmlShape shape;
    std::string_view name;
};
constexpr std::array<NamedShape, 6> kShapeNames = {{{HtmlShape::Nested, "nested"},
                                                    {HtmlShape::OneLine, "oneline"},
                                                    {HtmlShape::Lines80, "lines80"},
                                                    {HtmlShape::Unclosed, "unclosed"},
                                                    {HtmlShape::StrayEnds, "strayends"},
                                                    {HtmlShape::PerTag, "pertag"}}};

} // namespace

std::string generateHtml(std::size_t bytes, unsigned seed, bool lineBreaks) {
    NestedPieces pieces(seed, lineBreaks);
    std::string html;
    html.reserve(bytes + 256);
    while (html.size() < bytes)
        pieces.appendNext(html);
    html.resize(bytes);
    return html;
}

const std::vector<HtmlShape>& allHtmlShapes() {
    static const std::vector<HtmlShape> shapes = [] {
        std::vector<HtmlShape> all;
        for (const NamedShape& s : kShapeNames)
            all.push_back(s.shape);
        return all;
    }();
    return shapes;
}

std::string_view htmlShapeName(HtmlShape shape) {
    for (const NamedShape& s : kShapeNames)
        if (s.shape == shape)
            return s.name;
    return "?";
}

std::optional<HtmlShape> htmlShapeNamed(std::string_view name) {
    for (const NamedShape& s : kShapeNames)
        if (s.name == name)
            return s.shape;
    return std::nullopt;
}

bool isSizedInBytes(HtmlShape shape) {
    return shape != HtmlShape::Unclosed && shape != HtmlShape::PerTag;
}

std::vector<std::string> htmlShapeRecords(HtmlShape shape, std::size_t bytes, std::size_t tags) {
    switch (shape) {
    case HtmlShape::Nested:
        return cutIntoRecords(generateHtml(bytes, kSeed));
    case HtmlShape::OneLine:
        return cutIntoRecords(generateHtml(bytes, kSeed, false));
    case HtmlShape::Lines80:
        return cutIntoRecords(generateLines80(bytes, kSeed));
    case HtmlShape::Unclosed:
        return cutIntoRecords(generateUnclosed(tags, kSeed));
    case HtmlShape::StrayEnds:
        return cutIntoRecords(generateStrayEnds(bytes, kSeed));
    case HtmlShape::PerTag:
        return perTagRecords(tags, kSeed);
    }
    return {};
}

FloodPage writeFloodPage(const std::filesystem::path& folder) {
    FloodPage page{folder / "flood.jsp", folder / "flood_jsp.java"};
    std::ofstream(page.jsp) << "<html><body>\n<%= report.render() %>\n</body></html>\n";
    std::ofstream(page.java) << "public class flood_jsp {\n"
                                "  public void _jspService() {\n"
                                "    vlmAgent.line(3);out.print(report.render());\n"
                                "  }\n"
                                "}\n";
    return page;
}

Conversation floodConversation(const FloodPage& page, const std::vector<std::string>& htmlTexts) {
    using tracehook::PageRuntimeRecords;
    tracehook::JspSourceTable table(page.jsp.string(), page.java.string());
    table.add(3, 2, 1, 2, 24);
    Conversation conversation;
    conversation.records.reserve(htmlTexts.size() + kFloodLeadingRecords + 1);
    conversation.records.push_back(PageRuntimeRecords::framed(*table.getFileInfoStr(1, false)));
    conversation.records.push_back(PageRuntimeRecords::framed(*table.getLineInfoStr(1, 3)));
    for (const std::string& text : htmlTexts)
        conversation.records.push_back(
            PageRuntimeRecords::framed(PageRuntimeRecords::html("1", text)));
    conversation.records.push_back(PageRuntimeRecords::framed(PageRuntimeRecords::clientExit()));
    return conversation;
}

int runHtmlClient(int port, const std::filesystem::path& conversationFile,
                  std::size_t reportEvery) {
    const Conversation conversation = loadConversation(conversationFile);
    if (conversation.records.size() <= kFloodLeadingRecords || reportEvery == 0)
        return 2;
    Socket s = Socket::connectLoopback(port);
    if (!s.valid())
        return 3;
    std::string pending;
    auto exchange = [&](const std::string& record) {
        return s.sendAll(record) && s.readLine(pending);
    };
    for (std::size_t r = 0; r < kFloodLeadingRecords; ++r)
        if (!exchange(conversation.records[r]))
            return 4;

    const auto start = std::chrono::steady_clock::now();
    auto report = [&](std::size_t answered) {
        const auto now = std::chrono::steady_clock::now();
        std::printf("%zu %.3f\n", answered,
                    std::chrono::duration<double, std::milli>(now - start).count());
    };
    const std::size_t total = conversation.records.size() - kFloodLeadingRecords;
    for (std::size_t answered = 1; answered <= total; ++answered) {
        if (!exchange(conversation.records[kFloodLeadingRecords + answered - 1]))
            return 4;
        if (answered % reportEvery == 0 || answered == total)
            report(answered);
    }
    std::fflush(stdout);
    return 0;
}

} // namespace bench
