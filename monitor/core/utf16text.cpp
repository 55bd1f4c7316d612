#include "core/utf16text.h"

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <algorithm>

namespace tracewin {

void appendUtf16(std::vector<char16_t>& out, std::string_view utf8) {
    const std::size_t at = out.size();
    out.resize(at + utf8.size());
    unsigned char any = 0;
    std::transform(utf8.begin(), utf8.end(), out.begin() + static_cast<std::ptrdiff_t>(at),
                   [&any](char c) {
                       any |= static_cast<unsigned char>(c);
                       return static_cast<char16_t>(static_cast<unsigned char>(c));
                   });
    if (any < 0x80)
        return;
    out.resize(at);
    const QString decoded = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    const auto* units = reinterpret_cast<const char16_t*>(decoded.utf16());
    out.insert(out.end(), units, units + decoded.size());
}

void appendUtf8(std::string& out, std::u16string_view utf16) {
    const std::size_t at = out.size();
    out.resize(at + utf16.size());
    char16_t any = 0;
    std::transform(utf16.begin(), utf16.end(), out.begin() + static_cast<std::ptrdiff_t>(at),
                   [&any](char16_t c) {
                       any |= c;
                       return static_cast<char>(c);
                   });
    if (any < 0x80)
        return;
    out.resize(at);
    const QByteArray encoded =
        QStringView(utf16.data(), static_cast<qsizetype>(utf16.size())).toUtf8();
    out.append(encoded.constData(), static_cast<std::size_t>(encoded.size()));
}

void appendUtf8(std::string& out, CharsView text) {
    if (text.isWide()) {
        appendUtf8(out, text.wide());
        return;
    }
    const std::string_view latin1 = text.narrow();
    if (std::all_of(latin1.begin(), latin1.end(), [](char c) { return c >= 0; })) {
        out.append(latin1);
        return;
    }
    const QByteArray encoded =
        QString::fromLatin1(latin1.data(), static_cast<qsizetype>(latin1.size())).toUtf8();
    out.append(encoded.constData(), static_cast<std::size_t>(encoded.size()));
}

} // namespace tracewin
