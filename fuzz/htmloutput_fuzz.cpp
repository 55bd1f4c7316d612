// HTML output appended piece by piece, with every complete tag checked by the tag stack.
#include "core/htmltagstack.h"
#include "core/monitormessagefile.h"
#include "views/htmlmodel.h"

#include <QString>
#include <cstddef>
#include <cstdint>

namespace {
struct Silent : tracewin::HtmlTagStackListener {
    void showStatus(const std::string&) override {}
    void highlightTag(const std::optional<tracewin::HtmlTagPosition>&) override {}
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static tracewin::MonitorMessageFile messages("/nonexistent/MonitorMsg");
    tracewin::HtmlModel model;
    Silent listener;
    tracewin::HtmlTagStack stack(tracewin::HtmlTagTable::createHtmlTagTable(), messages, listener);
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (qsizetype pos = 0, step = 3; pos < text.size(); pos += step, step = step % 11 + 1) {
        model.addText(text.mid(pos, step),
                      [&](const QString& tag, const tracewin::HtmlTagPosition& at) {
                          stack.handleTag(tag.toStdString(), at);
                      });
    }
    return 0;
}
