// HTML output appended piece by piece, with every complete tag checked by the tag stack:
// once tag by tag, and once with the tags of each piece handed over together, which must
// leave the same open elements and the same errors.
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
    const tracewin::HtmlTagTable& table = tracewin::HtmlTagTable::createHtmlTagTable();
    tracewin::HtmlModel model;
    Silent listener;
    tracewin::HtmlTagStack oneByOne(table, messages, listener);
    tracewin::HtmlTagStack together(table, messages, listener);
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (qsizetype pos = 0, step = 3; pos < text.size(); pos += step, step = step % 11 + 1) {
        tracewin::HtmlTags piece;
        model.addText(text.mid(pos, step),
                      [&](QStringView tag, const tracewin::HtmlTagPosition& at) {
                          oneByOne.handleTag(tag.toUtf8().toStdString(), at);
                          const std::string text = tag.toUtf8().toStdString();
                          piece.push_back({text, at});
                      });
        together.handleTags(piece);
        const auto& a = oneByOne.getStack();
        const auto& b = together.getStack();
        if (a.size() != b.size() || oneByOne.errorList().size() != together.errorList().size())
            __builtin_trap();
        for (std::size_t i = 0; i < a.size(); ++i) {
            if (a[i].text != b[i].text || !(a[i].pos == b[i].pos))
                __builtin_trap();
        }
    }
    return 0;
}
