#include "htmlflood.h"

#include "loopback.h"
#include "tracehook/jspsourcetable.h"
#include "tracehook/pageruntimerecords.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>

namespace bench {

namespace {

constexpr std::array<const char*, 12> kElements = {"div", "table", "tr",   "td", "ul", "li",
                                                   "p",   "span",  "font", "b",  "i",  "a"};
constexpr std::array<const char*, 8> kWords = {"row",   "value",     "total", "&amp;",
                                               "price", "&lt;x&gt;", "item",  "42"};

} // namespace

std::string generateHtml(std::size_t bytes, unsigned seed) {
    std::mt19937 random(seed);
    std::string html;
    html.reserve(bytes + 256);
    std::vector<const char*> open;
    auto pick = [&](std::size_t n) {
        return static_cast<std::size_t>(random() % n);
    };
    while (html.size() < bytes) {
        const std::size_t choice = pick(100);
        if (choice < 40 && open.size() < 14) {
            const char* tag = kElements[pick(kElements.size())];
            html += '<';
            html += tag;
            if (tag[0] == 'a' || choice < 5)
                html += " href=\"page.jsp?id=" + std::to_string(pick(1000)) + "\"";
            html += '>';
            open.push_back(tag);
        } else if (choice < 75 && !open.empty()) {
            // Most elements close; a few are left open, as <p> and <li> often are.
            if (pick(20) != 0) {
                html += "</";
                html += open.back();
                html += '>';
            }
            open.pop_back();
            if (pick(6) == 0) // lines of about a hundred characters
                html += '\n';
        } else if (choice < 78) {
            html += "</blink>"; // closes nothing
        } else {
            html += kWords[pick(kWords.size())];
            html += ' ';
        }
    }
    html.resize(bytes);
    return html;
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

int runHtmlClient(int port, const FloodPage& page, std::size_t totalBytes, std::size_t records) {
    using tracehook::PageRuntimeRecords;
    const std::string html = generateHtml(totalBytes, 7);
    tracehook::JspSourceTable table(page.jsp.string(), page.java.string());
    table.add(3, 2, 1, 2, 24);
    Socket s = Socket::connectLoopback(port);
    if (!s.valid())
        return 3;
    std::string pending;
    auto exchange = [&](const std::string& record) {
        return s.sendAll(PageRuntimeRecords::framed(record)) && s.readLine(pending);
    };
    if (!exchange(*table.getFileInfoStr(1, false)) || !exchange(*table.getLineInfoStr(1, 3)))
        return 4;

    constexpr std::size_t kMB = 1000 * 1000;
    const std::size_t chunk = totalBytes / records;
    std::size_t sent = 0;
    std::size_t nextMB = kMB;
    auto mbStart = std::chrono::steady_clock::now();
    for (std::size_t r = 0; r < records; ++r) {
        const std::size_t size = r + 1 == records ? html.size() - sent : chunk;
        if (!exchange(PageRuntimeRecords::html("1", std::string_view(html).substr(sent, size))))
            return 4;
        sent += size;
        while (sent >= nextMB) {
            const auto now = std::chrono::steady_clock::now();
            std::printf("%zu %.3f\n", nextMB / kMB,
                        std::chrono::duration<double, std::milli>(now - mbStart).count());
            mbStart = now;
            nextMB += kMB;
        }
    }
    std::fflush(stdout);
    return exchange(PageRuntimeRecords::clientExit()) ? 0 : 4;
}

} // namespace bench
