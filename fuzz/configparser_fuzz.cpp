// Configuration files: any bytes end in a configuration or in one "file, line: message"
// error, and the descriptions of an accepted file refer only to descriptions it holds.
#include "panekit/configparser.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void checkPane(const panekit::PaneDescription& pane, const panekit::Configuration& config) {
    if (const panekit::LeafPaneDescription* leaf = pane.asLeaf()) {
        if (!leaf->asWorkbookPane() && !leaf->view)
            std::abort();
        if (const auto* holder = leaf->asWorkbookPane(); holder && !holder->workbook)
            std::abort();
        if (leaf->view && config.findTool(leaf->view->name) == nullptr)
            std::abort();
    }
    if (pane.ratio < 0)
        std::abort();
    for (const auto& child : pane.panes) {
        if (child->parent != &pane)
            std::abort();
        checkPane(*child, config);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray text(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    panekit::Configuration config;
    QString error;
    if (!panekit::ConfigParser::load(text, QStringLiteral("fuzz.cfg"), config, &error)) {
        if (!error.startsWith(QStringLiteral("fuzz.cfg, ")))
            std::abort();
        return 0;
    }
    if (config.workbooks.empty())
        std::abort();
    for (const auto& page : config.pages)
        if (page->clientPane)
            checkPane(*page->clientPane, config);
    for (const auto& book : config.workbooks)
        for (const auto& ref : book->pages)
            if (!ref.page || ref.page->name != ref.name)
                std::abort();
    return 0;
}
